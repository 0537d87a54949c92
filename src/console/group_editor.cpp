#include "console/group_editor.h"

#include <algorithm>

#include "config/schedule_targets.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

bool IsNetwork(const COsprelNetworkManagerDoc& doc) {
  return doc.m_docCommunicationSelect == kNetworkMode;
}

int& GroupCount(COsprelNetworkManagerDoc& doc) {
  return IsNetwork(doc) ? doc.m_docGroupNumCount : doc.m_docSerialGroupNumCount;
}

std::vector<GroupRecord>& Groups(COsprelNetworkManagerDoc& doc) {
  return IsNetwork(doc) ? doc.m_docGroups : doc.m_docSerialGroups;
}

void SetMemberCount(COsprelNetworkManagerDoc& doc, int group, int count) {
  if (IsNetwork(doc)) {
    doc.SetGroupMemberCount(group, count);
  } else {
    doc.SetSerialGroupMemberCount(group, count);
  }
}

// Removes position `at` of a group's lists; later members move down one place.
void EraseMember(COsprelNetworkManagerDoc& doc, int group, size_t at) {
  GroupRecord& record = Groups(doc)[static_cast<size_t>(group)];
  if (at < record.m_addresses.size())
    record.m_addresses.erase(record.m_addresses.begin() + static_cast<long>(at));
  if (at < record.m_labels.size())
    record.m_labels.erase(record.m_labels.begin() + static_cast<long>(at));
  SetMemberCount(doc, group, static_cast<int>(record.m_addresses.size()));
}

// The display an address names: the last row carrying it, as duplicates have always resolved.
int LastRowOf(const COsprelNetworkManagerDoc& doc, std::string_view key) {
  const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
  for (int row = count - 1; row >= 0; --row) {
    if (doc.m_docDisplays[static_cast<size_t>(row)].m_address == key) return row;
  }
  return -1;
}

std::string Formatted(const char* pattern, const std::string& text) {
  std::string result = pattern;
  const size_t at = result.find("%s");
  if (at != std::string::npos) result.replace(at, 2, text);
  return result;
}

}  // namespace

std::string CGroupEditor::NameProblem(const std::string& name) {
  if (name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    return "A name cannot hold a line break.";
  }
  return {};
}

std::string CGroupEditor::MakeGroup(const std::string& name) {
  if (name.empty()) return "Please Make Group!";
  if (const std::string problem = NameProblem(name); !problem.empty()) return problem;
  auto state = m_core.Lock();
  COsprelNetworkManagerDoc& doc = state->Doc();
  int& count = GroupCount(doc);
  if (IsNetwork(doc)) {
    const auto begin = doc.m_docGroupName.begin();
    if (std::find(begin, begin + count, name) != begin + count) {
      return Formatted("%s has been Already decided", name);
    }
  }
  if (count >= kMaxGroups || state->Tree().AppendGroup(name) == kNoItem) {
    return "No more groups can be made: the console holds " + std::to_string(kMaxGroups) + ".";
  }
  if (IsNetwork(doc)) state->AppendHistory(Formatted("Create %s Group", name));
  doc.m_docGroupName[static_cast<size_t>(count)] = name;
  SetMemberCount(doc, count, 0);
  ++count;
  state->Tree().Expand(state->Tree().GroupRoot());
  return {};
}

std::string CGroupEditor::AddToGroup(int group) {
  if (group == -1) return " Please select Group Name";
  auto state = m_core.Lock();
  COsprelNetworkManagerDoc& doc = state->Doc();
  if (group < 0 || group >= GroupCount(doc)) return "Please Select Group!";
  const TreeItem selected = state->Tree().ViewState().m_hSelectedItem;
  if (selected == kNoItem || state->Tree().Model().ChildCount(selected) > 0) return {};
  return IsNetwork(doc) ? AddNetworkMember(state, group, selected)
                        : AddSerialMember(state, group, selected);
}

std::string CGroupEditor::AddNetworkMember(const State& state, int group, TreeItem selected) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  DeviceTree& tree = state->Tree();
  if (tree.Model().Parent(selected) != tree.SingleRoot()) return {};
  const std::string label = tree.Model().Label(selected);
  const std::string key(DisplayKey(label));
  GroupRecord& record = doc.m_docGroups[static_cast<size_t>(group)];
  if (std::find(record.m_addresses.begin(), record.m_addresses.end(), key) !=
      record.m_addresses.end()) {
    return {};
  }
  if (state->Selected().address() != key || !state->SelectedLinkUp()) {
    return "Please Insert Group after Connect to Projector";
  }
  const int count = static_cast<int>(record.m_addresses.size());
  const TreeItem item = tree.GroupItem(group);
  if (count >= kMaxNetworkMembers ||
      tree.AppendMember(item, MemberLabel(count + 1, label), TreeIcon::kConnected) == kNoItem) {
    return "No more displays can join this group: it holds " + std::to_string(kMaxNetworkMembers) +
           ".";
  }
  SetMemberCount(doc, group, count + 1);
  record.m_addresses[static_cast<size_t>(count)] = key;
  record.m_labels[static_cast<size_t>(count)] = MemberLabel(count + 1, label);
  tree.Expand(item);
  return {};
}

std::string CGroupEditor::AddSerialMember(const State& state, int group, TreeItem selected) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  DeviceTree& tree = state->Tree();
  if (tree.RoleOf(selected) != TreeRole::kSerialSet) return {};
  const std::string label = tree.Model().Label(selected);
  GroupRecord& record = doc.m_docSerialGroups[static_cast<size_t>(group)];
  if (std::find(record.m_addresses.begin(), record.m_addresses.end(), label) !=
      record.m_addresses.end()) {
    return {};
  }
  const int id = state->Selected().setNumber();
  if (id < 0 || id >= kSerialSetIds || doc.m_docSerialConnectState[static_cast<size_t>(id)] != 1) {
    return "Please connect serial cable to projector before adding to group";
  }
  const int count = static_cast<int>(record.m_addresses.size());
  const TreeItem item = tree.GroupItem(group);
  if (count >= kMaxSerialMembers) {
    return "No more displays can join this group: it holds " + std::to_string(kMaxSerialMembers) +
           ".";
  }
  if (tree.AppendMember(item, MemberLabel(count + 1, label), TreeIcon::kConnected) == kNoItem) {
    return "Error";
  }
  SetMemberCount(doc, group, count + 1);
  record.m_addresses[static_cast<size_t>(count)] = label;
  record.m_labels[static_cast<size_t>(count)] = MemberLabel(count + 1, label);
  tree.Expand(item);
  return {};
}

// Unlike the command, a drop asks nothing of the display's link, and every member of every
// group is renumbered afterwards.
TreeItem CGroupEditor::AddByDrop(TreeItem display, TreeItem groupItem, std::string* message) {
  auto state = m_core.Lock();
  COsprelNetworkManagerDoc& doc = state->Doc();
  DeviceTree& tree = state->Tree();
  if (!IsNetwork(doc) || tree.RoleOf(display) != TreeRole::kSingle ||
      tree.RoleOf(groupItem) != TreeRole::kGroup) {
    return kNoItem;
  }
  const std::string& name = tree.Model().Label(groupItem);
  const auto begin = doc.m_docGroupName.begin();
  const int group =
      static_cast<int>(std::find(begin, begin + doc.m_docGroupNumCount, name) - begin);
  if (group >= doc.m_docGroupNumCount) return kNoItem;
  doc.m_docSelectedGroup = group;
  const std::string label = tree.Model().Label(display);
  const std::string key(DisplayKey(label));
  GroupRecord& record = doc.m_docGroups[static_cast<size_t>(group)];
  if (std::find(record.m_addresses.begin(), record.m_addresses.end(), key) !=
      record.m_addresses.end()) {
    return kNoItem;
  }
  const int count = static_cast<int>(record.m_addresses.size());
  const TreeItem target = tree.GroupItem(group);
  const TreeItem added = count >= kMaxNetworkMembers
                             ? kNoItem
                             : tree.AppendMember(target, MemberLabel(count + 1, label),
                                                 tree.Model().Images(display).normal);
  if (added == kNoItem) {
    *message = "No more displays can join this group: it holds " +
               std::to_string(kMaxNetworkMembers) + ".";
    return kNoItem;
  }
  tree.SetImages(added, tree.Model().Images(display));
  SetMemberCount(doc, group, count + 1);
  record.m_addresses[static_cast<size_t>(count)] = key;
  record.m_labels[static_cast<size_t>(count)] = MemberLabel(count + 1, label);
  tree.RenumberMembers();
  return added;
}

std::string CGroupEditor::DeleteProjector() {
  auto state = m_core.Lock();
  DeviceTree& tree = state->Tree();
  const TreeItem selected = tree.ViewState().m_hSelectedItem;
  const TreeItem parent = tree.Model().Parent(selected);
  if (selected == kNoItem) return {};
  if (IsNetwork(state->Doc()) && parent == tree.SingleRoot()) {
    DeleteDisplay(state, selected);
  } else if (parent != kNoItem && tree.Model().Parent(parent) == tree.GroupRoot()) {
    DeleteMember(state, selected);
  }
  return {};
}

// The display's entry closes up, its socket is closed, and it leaves every group.
void CGroupEditor::DeleteDisplay(const State& state, TreeItem selected) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  DeviceTree& tree = state->Tree();
  const std::string key(DisplayKey(tree.Model().Label(selected)));
  const int index = LastRowOf(doc, key);
  if (index < 0) return;
  // Written before the entry goes, so that the line names the deleted display rather than the
  // one that moves into its place.
  state->AppendHistoryAt(index, "Delete Monitor from Single");
  state->RemoveDisplayRow(index);
  for (int g = 0; g < doc.m_docGroupNumCount; ++g) {
    const auto& addresses = doc.m_docGroups[static_cast<size_t>(g)].m_addresses;
    const auto found = std::find(addresses.begin(), addresses.end(), key);
    if (found != addresses.end())
      EraseMember(doc, g, static_cast<size_t>(found - addresses.begin()));
  }
  tree.RemoveItem(selected);
  ForgetSelection(state);
  for (int g = 0; g < tree.GroupCount(); ++g) {
    const TreeItem group = tree.GroupItem(g);
    const std::vector<TreeItem> members(tree.Model().Children(group).begin(),
                                        tree.Model().Children(group).end());
    for (TreeItem member : members) {
      if (DisplayKey(tree.Model().Label(member)) == key) tree.RemoveItem(member);
    }
  }
  tree.RenumberMembers();
}

void CGroupEditor::DeleteMember(const State& state, TreeItem selected) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  DeviceTree& tree = state->Tree();
  const TreeItem groupItem = tree.Model().Parent(selected);
  const int group = tree.GroupNumberOf(groupItem);
  const size_t row = static_cast<size_t>(tree.Model().Row(selected));
  if (group < 0 || group >= GroupCount(doc)) return;
  // Written while the member is still selected: the line names its display, or none for a
  // listing that stands for no display.
  state->AppendHistory("Delete Monitor from Group");
  EraseMember(doc, group, row);
  tree.RemoveItem(selected);
  ForgetSelection(state);
  tree.RenumberMembers();
}

// The selected item went: nothing is selected any more. A change pressed now must reach no
// display (least of all the one that moved into the deleted display's row), and reads still
// running for the item end as a new selection ends them.
void CGroupEditor::ForgetSelection(const State& state) {
  state->Select(Selection());
  m_core.NewReadToken();
}

std::string CGroupEditor::DeleteGroup() {
  auto state = m_core.Lock();
  COsprelNetworkManagerDoc& doc = state->Doc();
  DeviceTree& tree = state->Tree();
  const TreeItem selected = tree.ViewState().m_hSelectedItem;
  const int group = tree.GroupNumberOf(selected);
  int& count = GroupCount(doc);
  if (group < 0 || group >= count) return {};
  const std::string name = tree.Model().Label(selected);
  std::vector<GroupRecord>& groups = Groups(doc);
  for (int g = group; g + 1 < count; ++g) {
    doc.m_docGroupName[static_cast<size_t>(g)] = doc.m_docGroupName[static_cast<size_t>(g) + 1];
    groups[static_cast<size_t>(g)] = std::move(groups[static_cast<size_t>(g) + 1]);
  }
  doc.m_docGroupName[static_cast<size_t>(count - 1)].clear();
  groups[static_cast<size_t>(count - 1)] = GroupRecord{};
  --count;
  MarkScheduleTargetsGone(doc.m_docSchedules, name);
  if (IsNetwork(doc)) state->AppendHistory(Formatted("Delete %s Group", name));
  tree.RemoveItem(selected);
  ForgetSelection(state);
  return {};
}

std::string CGroupEditor::ChangeName(const std::string& pending) {
  if (pending.empty()) return {};
  if (const std::string problem = NameProblem(pending); !problem.empty()) return problem;
  auto state = m_core.Lock();
  COsprelNetworkManagerDoc& doc = state->Doc();
  DeviceTree& tree = state->Tree();
  const TreeItem selected = tree.ViewState().m_hSelectedItem;
  if (!IsNetwork(doc) || tree.Model().Parent(selected) != tree.SingleRoot()) return {};
  const std::string key(DisplayKey(tree.Model().Label(selected)));
  const std::string label = pending == "NULL" ? key : "[" + pending + "]" + key;
  tree.Relabel(selected, label);
  const int current = LastRowOf(doc, key);
  if (current >= 0) doc.m_docDisplays[static_cast<size_t>(current)].m_label = label;
  tree.RelabelMembers(label);
  state->AppendHistoryAt(current, "Change Monitor Name");
  return {};
}

}  // namespace tarnex
