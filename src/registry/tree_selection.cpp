#include "registry/tree_selection.h"

#include "protocol/command_frame.h"
#include "registry/device_tree.h"
#include "registry/tree_labels.h"

namespace tarnex {

namespace {

std::vector<std::string> MemberKeys(const TreeModel& model, TreeItem group) {
  std::vector<std::string> keys;
  for (const TreeItem member : model.Children(group)) {
    keys.emplace_back(DisplayKey(model.Label(member)));
  }
  return keys;
}

Designation DesignateGroup(const DeviceTree& tree, TreeItem item) {
  Designation d;
  d.kind = tree.Mode() == TreeMode::kNetwork ? TargetKind::kNetworkGroup : TargetKind::kSerialGroup;
  d.groupNumber = tree.GroupNumberOf(item);
  d.memberKeys = MemberKeys(tree.Model(), item);
  return d;
}

// A serial label whose set number cannot be read (a hand-edited member) addresses nothing
// rather than a guessed set ID.
Designation DesignateSerialSet(const std::string& label) {
  Designation d;
  const std::optional<int> number = SerialSetNumber(label);
  if (!number) return d;
  const std::optional<std::string> setId = protocol::DeriveSetId(std::to_string(*number));
  if (!setId) return d;
  d.kind = TargetKind::kSerialSet;
  d.key = DisplayKey(label);
  d.serialId = *number;
  d.setId = *setId;
  return d;
}

Designation DesignateDisplay(TargetKind kind, const std::string& label) {
  Designation d;
  d.kind = kind;
  d.key = DisplayKey(label);
  return d;
}

}  // namespace

bool Designation::IsTarget() const {
  switch (kind) {
    case TargetKind::kDisplay:
    case TargetKind::kGroupMember:
    case TargetKind::kSerialSet:
      return true;
    case TargetKind::kNetworkGroup:
    case TargetKind::kSerialGroup:
      return !memberKeys.empty();
    case TargetKind::kNone:
    case TargetKind::kSerialRange:
      return false;
  }
  return false;
}

Designation Designate(const DeviceTree& tree, TreeItem item) {
  const std::string& label = tree.Model().Label(item);
  const bool serial = tree.Mode() == TreeMode::kSerial;
  switch (tree.RoleOf(item)) {
    case TreeRole::kSingle:
      return DesignateDisplay(TargetKind::kDisplay, label);
    case TreeRole::kMember:
      return serial ? DesignateSerialSet(label) : DesignateDisplay(TargetKind::kGroupMember, label);
    case TreeRole::kSerialSet:
      return DesignateSerialSet(label);
    case TreeRole::kSerialRange: {
      Designation range;
      range.kind = TargetKind::kSerialRange;
      return range;
    }
    case TreeRole::kGroup:
      return DesignateGroup(tree, item);
    case TreeRole::kNone:
    case TreeRole::kRoot:
      return {};
  }
  return {};
}

std::optional<int> LastDisplayIndex(std::span<const std::string> addresses, std::string_view key) {
  for (size_t i = addresses.size(); i-- > 0;) {
    if (addresses[i] == key) return static_cast<int>(i);
  }
  return std::nullopt;
}

}  // namespace tarnex
