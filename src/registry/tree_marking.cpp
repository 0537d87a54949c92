// The icon, relabel and save-walk rules of DeviceTree: how members follow their display.
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/device_tree.h"
#include "registry/tree_labels.h"

namespace tarnex {

void DeviceTree::MarkSelected(TreeIcon icon, int connected) {
  m_model.SetImages(m_view.m_hSelectedItem, TreeImages::Both(icon));
  m_view.m_bConnect = connected;
  PropagateIcons();
}

void DeviceTree::MarkConnected() {
  MarkSelected(TreeIcon::kConnected, 1);
}

void DeviceTree::MarkSelectedDisconnected() {
  MarkSelected(TreeIcon::kDisconnected, 0);
}

// Every "Single" child with the address is marked, not only the first: a hand-edited
// configuration may list one address twice, and both items stand for the same display.
void DeviceTree::MarkByAddress(std::string_view address, TreeIcon icon) {
  const int singles = SetSingleIconsByKey(address, icon);
  PropagateIcons();
  // The members of a display listed under "Single" follow it in PropagateIcons (at once, or
  // when the batch closes); walking every member again here would undo the batch's saving.
  if (singles == 0) SetMemberImagesByKey(address, TreeImages::Both(icon));
}

// m_bConnect belongs to the selection: a display that failed while another is selected leaves
// it alone.
void DeviceTree::MarkDisconnected(std::string_view address) {
  if (m_view.m_hSelectedItem != kNoItem &&
      DisplayKey(m_model.Label(m_view.m_hSelectedItem)) == address) {
    m_view.m_bConnect = 0;
  }
  MarkByAddress(address, TreeIcon::kDisconnected);
}

void DeviceTree::MarkCurrentConnected(std::string_view address) {
  MarkByAddress(address, TreeIcon::kConnected);
}

void DeviceTree::SetMemberImagesByKey(std::string_view key, TreeImages images) {
  for (const TreeItem group : m_model.Children(m_hGroupRoot)) {
    for (const TreeItem member : m_model.Children(group)) {
      if (DisplayKey(m_model.Label(member)) == key) m_model.SetImages(member, images);
    }
  }
}

void DeviceTree::PropagateIcons() {
  if (m_mode == TreeMode::kSerial) {
    const TreeItem selected = m_view.m_hSelectedItem;
    const TreeRole role = RoleOf(selected);
    // Only an item that stands for a set ID has members to colour; a group item's name must
    // not paint members that happen to carry it as a key.
    if (role != TreeRole::kSerialSet && role != TreeRole::kMember) return;
    SetMemberImagesByKey(DisplayKey(m_model.Label(selected)), m_model.Images(selected));
    return;
  }
  if (m_iconBatch > 0) {
    m_iconsPending = true;
    return;
  }
  PropagateNetworkIcons({});
}

void DeviceTree::PropagateIconsBetweenGroups(const std::function<bool()>& between) {
  if (m_mode == TreeMode::kSerial) {
    PropagateIcons();
    return;
  }
  PropagateNetworkIcons(between);
}

// The icons are gathered by key first and the members walked once: a full tree has 1000
// displays and up to 300 000 members, too many to walk per display. A later "Single" child
// with the same key wins, as walking the displays in order would give. The keys are views of
// the labels, so they are gathered again whenever the tree may have changed in between.
void DeviceTree::PropagateNetworkIcons(const std::function<bool()>& between) {
  std::unordered_map<std::string_view, TreeImages> byKey;
  auto gather = [&] {
    byKey.clear();
    for (const TreeItem single : m_model.Children(m_hSingleRoot)) {
      byKey[DisplayKey(m_model.Label(single))] = m_model.Images(single);
    }
  };
  gather();
  const std::span<const TreeItem> children = m_model.Children(m_hGroupRoot);
  const std::vector<TreeItem> groups(children.begin(), children.end());
  for (const TreeItem group : groups) {
    if (between && between()) gather();
    for (const TreeItem member : m_model.Children(group)) {
      const auto it = byKey.find(DisplayKey(m_model.Label(member)));
      if (it != byKey.end()) m_model.SetImages(member, it->second);
    }
  }
}

void DeviceTree::EndIconBatch() {
  if (m_iconBatch > 0) --m_iconBatch;
  if (m_iconBatch > 0 || !m_iconsPending) return;
  m_iconsPending = false;
  PropagateIcons();
}

int DeviceTree::RelabelMembers(std::string_view newLabel) {
  const std::string label(newLabel);  // the caller may pass a view of a label we change
  const std::string_view key = DisplayKey(label);
  int changed = 0;
  for (const TreeItem group : m_model.Children(m_hGroupRoot)) {
    const std::span<const TreeItem> members = m_model.Children(group);
    for (size_t i = 0; i < members.size(); ++i) {
      if (DisplayKey(m_model.Label(members[i])) != key) continue;
      m_model.SetLabel(members[i], MemberLabel(static_cast<int>(i) + 1, label));
      ++changed;
      break;
    }
  }
  return changed;
}

int DeviceTree::RekeyItems(std::string_view oldKey, std::string_view newKey) {
  const std::string from(oldKey);  // the caller may pass a view of a label we change
  const std::string to(newKey);
  int changed = 0;
  auto rekey = [&](TreeItem item) {
    const std::string& label = m_model.Label(item);
    if (DisplayKey(label) != from) return;
    m_model.SetLabel(item, label.substr(0, label.size() - from.size()) + to);
    ++changed;
  };
  for (const TreeItem single : m_model.Children(m_hSingleRoot)) rekey(single);
  for (const TreeItem group : m_model.Children(m_hGroupRoot)) {
    for (const TreeItem member : m_model.Children(group)) rekey(member);
  }
  return changed;
}

void DeviceTree::RenumberMembers() {
  for (const TreeItem group : m_model.Children(m_hGroupRoot)) {
    const std::span<const TreeItem> members = m_model.Children(group);
    for (size_t i = 0; i < members.size(); ++i) {
      const std::string& label = m_model.Label(members[i]);
      m_model.SetLabel(members[i],
                       MemberLabel(static_cast<int>(i) + 1, StripPositionPrefix(label)));
    }
  }
}

std::vector<std::string> DeviceTree::SingleLabels() const {
  std::vector<std::string> labels;
  for (const TreeItem single : m_model.Children(m_hSingleRoot)) {
    labels.push_back(m_model.Label(single));
  }
  return labels;
}

std::vector<TreeGroupLabels> DeviceTree::GroupLabels() const {
  std::vector<TreeGroupLabels> groups;
  for (const TreeItem group : m_model.Children(m_hGroupRoot)) {
    TreeGroupLabels& saved = groups.emplace_back(TreeGroupLabels{m_model.Label(group), {}});
    for (const TreeItem member : m_model.Children(group)) {
      saved.memberLabels.push_back(m_model.Label(member));
    }
  }
  return groups;
}

}  // namespace tarnex
