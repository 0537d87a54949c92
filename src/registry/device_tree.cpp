#include "registry/device_tree.h"

#include <algorithm>

#include "registry/tree_labels.h"

namespace tarnex {

namespace {

// Set IDs 1..99 hang under range items of ten, the last one short: 1~10, ..., 81~90, 91~99.
constexpr int kSerialRangeWidth = 10;

}  // namespace

DeviceTree::DeviceTree(TreeMode mode) {
  Reset(mode);
}

void DeviceTree::Reset(TreeMode mode) {
  m_model.Clear();
  m_mode = mode;
  m_view = TreeViewState{};
  m_hSingleRoot =
      m_model.Append(kNoItem, kSingleRootLabel, TreeImages::Both(TreeIcon::kSingleRoot));
  m_hGroupRoot = m_model.Append(kNoItem, kGroupRootLabel, TreeImages::Both(TreeIcon::kGroupRoot));
  SyncGroupItems();
}

TreeItem DeviceTree::GroupItem(int group) const {
  if (group < 0 || group >= kMaxGroups) return kNoItem;
  return m_hGroupItem[static_cast<size_t>(group)];
}

int DeviceTree::GroupNumberOf(TreeItem item) const {
  if (item == kNoItem || m_model.Parent(item) != m_hGroupRoot) return -1;
  return m_model.Row(item);
}

bool DeviceTree::IsRootGrandchild(TreeItem item) const {
  if (item == kNoItem) return false;
  const TreeItem grandparent = m_model.Parent(m_model.Parent(item));
  return grandparent != kNoItem && (grandparent == m_hSingleRoot || grandparent == m_hGroupRoot);
}

TreeRole DeviceTree::RoleOf(TreeItem item) const {
  if (!m_model.Contains(item)) return TreeRole::kNone;
  if (item == m_hSingleRoot || item == m_hGroupRoot) return TreeRole::kRoot;
  const TreeItem parent = m_model.Parent(item);
  if (parent == m_hGroupRoot) return TreeRole::kGroup;
  if (m_model.Parent(parent) == m_hGroupRoot) return TreeRole::kMember;
  if (m_mode == TreeMode::kNetwork) {
    return parent == m_hSingleRoot ? TreeRole::kSingle : TreeRole::kNone;
  }
  if (parent == m_hSingleRoot) {
    return m_model.ChildCount(item) > 0 ? TreeRole::kSerialRange : TreeRole::kSerialSet;
  }
  return m_model.Parent(parent) == m_hSingleRoot ? TreeRole::kSerialSet : TreeRole::kNone;
}

TreeItem DeviceTree::AppendSingle(std::string_view label, TreeIcon icon) {
  if (m_mode != TreeMode::kNetwork || m_model.ChildCount(m_hSingleRoot) >= kMaxDisplays) {
    return kNoItem;
  }
  const TreeItem item = m_model.Append(m_hSingleRoot, label, TreeImages::Both(icon));
  m_model.SetExpanded(m_hSingleRoot, true);
  return item;
}

int DeviceTree::SetSingleIconsByKey(std::string_view key, TreeIcon icon) {
  int changed = 0;
  for (const TreeItem item : m_model.Children(m_hSingleRoot)) {
    if (DisplayKey(m_model.Label(item)) != key) continue;
    m_model.SetImages(item, TreeImages::Both(icon));
    ++changed;
  }
  return changed;
}

bool DeviceTree::RelabelSingle(int k, std::string_view label) {
  return m_model.SetLabel(m_model.Child(m_hSingleRoot, k), label);
}

TreeItem DeviceTree::FindSingleByKey(std::string_view key) const {
  const std::span<const TreeItem> singles = m_model.Children(m_hSingleRoot);
  const auto it = std::ranges::find_if(
      singles, [&](TreeItem item) { return DisplayKey(m_model.Label(item)) == key; });
  return it == singles.end() ? kNoItem : *it;
}

TreeItem DeviceTree::AppendGroup(std::string_view name) {
  if (GroupCount() >= kMaxGroups) return kNoItem;
  const TreeItem item = m_model.Append(m_hGroupRoot, name, TreeImages::Both(TreeIcon::kGroup));
  SyncGroupItems();
  return item;
}

int DeviceTree::MemberCapacity() const {
  return m_mode == TreeMode::kNetwork ? kMaxNetworkMembers : kMaxSerialMembers;
}

TreeItem DeviceTree::AppendMember(TreeItem group, std::string_view label, TreeIcon icon) {
  if (RoleOf(group) != TreeRole::kGroup || m_model.ChildCount(group) >= MemberCapacity()) {
    return kNoItem;
  }
  return m_model.Append(group, label, TreeImages::Both(icon));
}

bool DeviceTree::BuildNetworkGroups(std::span<const TreeGroupLabels> groups) {
  bool complete = true;
  for (const TreeGroupLabels& group : groups) {
    const TreeItem item = AppendGroup(group.name);
    complete = complete && item != kNoItem;
    for (const std::string& label : group.memberLabels) {
      complete = AppendMember(item, label, TreeIcon::kConnected) != kNoItem && complete;
    }
  }
  m_model.SetExpanded(m_hGroupRoot, true);
  return complete;
}

void DeviceTree::AddSerialSetItems() {
  const TreeImages red = TreeImages::Both(TreeIcon::kDisconnected);
  m_model.Append(m_hSingleRoot, SerialSetLabel(0), red);
  for (int first = 1; first < kSerialSetCount; first += kSerialRangeWidth) {
    const int last = std::min(first + kSerialRangeWidth - 1, kSerialSetCount - 1);
    const TreeItem range = m_model.Append(m_hSingleRoot, SerialRangeLabel(first, last), red);
    for (int id = first; id <= last; ++id) m_model.Append(range, SerialSetLabel(id), red);
  }
  m_model.SetExpanded(m_hSingleRoot, true);
}

bool DeviceTree::BuildSerialTree(std::span<const TreeGroupLabels> groups) {
  Reset(TreeMode::kSerial);
  AddSerialSetItems();
  bool complete = true;
  for (const TreeGroupLabels& group : groups) {
    const TreeItem item = AppendGroup(group.name);
    complete = complete && item != kNoItem;
    for (const std::string& label : group.memberLabels) {
      complete = AppendMember(item, label, TreeIcon::kDisconnected) != kNoItem && complete;
    }
    m_model.SetExpanded(item, true);
  }
  m_model.SetExpanded(m_hGroupRoot, true);
  return complete;
}

bool DeviceTree::IsInSubtree(TreeItem item, TreeItem top) const {
  for (TreeItem at = item; at != kNoItem; at = m_model.Parent(at)) {
    if (at == top) return true;
  }
  return false;
}

bool DeviceTree::RemoveItem(TreeItem item) {
  if (item == m_hSingleRoot || item == m_hGroupRoot || !m_model.Contains(item)) return false;
  if (IsInSubtree(m_view.m_hSelectedItem, item)) m_view.m_hSelectedItem = kNoItem;
  const bool wasGroup = m_model.Parent(item) == m_hGroupRoot;
  m_model.Remove(item);
  if (wasGroup) SyncGroupItems();
  return true;
}

// Group numbers are dense and follow the order of the group items, so the table is the
// children of "Group" and later groups move down one place when one is removed.
void DeviceTree::SyncGroupItems() {
  m_hGroupItem.fill(kNoItem);
  const std::span<const TreeItem> groups = m_model.Children(m_hGroupRoot);
  std::ranges::copy(groups.first(std::min(groups.size(), m_hGroupItem.size())),
                    m_hGroupItem.begin());
}

bool DeviceTree::Relabel(TreeItem item, std::string_view label) {
  return m_model.SetLabel(item, label);
}

bool DeviceTree::SetIcon(TreeItem item, TreeIcon icon) {
  return m_model.SetImages(item, TreeImages::Both(icon));
}

bool DeviceTree::SetImages(TreeItem item, TreeImages images) {
  return m_model.SetImages(item, images);
}

bool DeviceTree::Expand(TreeItem item, bool expanded) {
  return m_model.SetExpanded(item, expanded);
}

Designation DeviceTree::Select(TreeItem item) {
  m_view.m_hSelectedItem = item;
  Designation designation = Designate(*this, item);
  if (designation.kind == TargetKind::kNetworkGroup) {
    m_view.m_groupMemberList = designation.memberKeys;
    m_view.m_groupMemberCount = static_cast<int>(designation.memberKeys.size());
  }
  return designation;
}

}  // namespace tarnex
