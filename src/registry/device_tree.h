#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/tree_icons.h"
#include "registry/tree_model.h"
#include "registry/tree_observer.h"
#include "registry/tree_selection.h"

namespace tarnex {

enum class TreeMode : std::uint8_t { kNetwork = 1, kSerial = 2 };

// One group as it is built from or saved to the configuration: its name and its members'
// stored labels ("[1][Lobby]10.0.0.5").
struct TreeGroupLabels {
  std::string name;
  std::vector<std::string> memberLabels;

  friend bool operator==(const TreeGroupLabels&, const TreeGroupLabels&) = default;
};

// What an item is, from where it sits in the tree.
enum class TreeRole : std::uint8_t {
  kNone,         // not in the tree
  kRoot,         // "Single" or "Group"
  kSingle,       // network display under "Single"
  kSerialSet,    // serial "PJTR k" item
  kSerialRange,  // serial "PJTR(a ~ b)" item
  kGroup,        // a group under "Group"
  kMember,       // a member under a group
};

// The state the main view keeps beside the tree.
struct TreeViewState {
  TreeItem m_hSelectedItem = kNoItem;
  // 1 after the last connect of the selected display succeeded, 0 after it failed.
  int m_bConnect = 0;
  // Keys of the members of the last selected network group, all of them, in member order.
  std::vector<std::string> m_groupMemberList;
  int m_groupMemberCount = 0;
};

// The operator's device tree: the "Single" and "Group" roots, the displays, the groups and
// their members, with the rules that tie labels, keys and icons together. Items carry no
// record; a display is found by the address at the end of its label.
//
// Every call is made with the console's lock held; observers are notified synchronously on
// the calling thread (see TreeObserver). Insertions beyond a capacity fail with kNoItem.
class DeviceTree {
 public:
  static constexpr int kMaxDisplays = 1000;
  static constexpr int kMaxGroups = 300;
  static constexpr int kMaxNetworkMembers = 1000;
  static constexpr int kMaxSerialMembers = 100;

  explicit DeviceTree(TreeMode mode = TreeMode::kNetwork);

  // Empties the tree and inserts the two roots again, for the given mode.
  void Reset(TreeMode mode);
  TreeMode Mode() const { return m_mode; }
  const TreeModel& Model() const { return m_model; }
  void AddObserver(TreeObserver* observer) { m_model.AddObserver(observer); }
  void RemoveObserver(TreeObserver* observer) { m_model.RemoveObserver(observer); }

  TreeItem SingleRoot() const { return m_hSingleRoot; }
  TreeItem GroupRoot() const { return m_hGroupRoot; }
  // The item of group g, kNoItem outside 0..count-1.
  TreeItem GroupItem(int group) const;
  int GroupCount() const { return m_model.ChildCount(m_hGroupRoot); }
  // The group number of a group item, -1 for any other item.
  int GroupNumberOf(TreeItem item) const;
  TreeRole RoleOf(TreeItem item) const;
  // True for an item two levels below "Single" or "Group": a set-ID item inside a range, or a
  // group member. On the serial line that is what addresses one display by itself.
  bool IsRootGrandchild(TreeItem item) const;
  const TreeViewState& ViewState() const { return m_view; }

  // Network "Single" children. Appending expands "Single", as the operator expects to see a
  // display that was just found.
  TreeItem AppendSingle(std::string_view label, TreeIcon icon);
  // Every "Single" child whose key equals the key gets the icon; returns how many did.
  int SetSingleIconsByKey(std::string_view key, TreeIcon icon);
  // The label of the k-th "Single" child; false when there is none.
  bool RelabelSingle(int k, std::string_view label);
  // The first "Single" child whose key equals the key.
  TreeItem FindSingleByKey(std::string_view key) const;

  // A group item (icon 4) as the last child of "Group"; kNoItem past 300 groups.
  TreeItem AppendGroup(std::string_view name);
  // A member under a group item, label as given; kNoItem when the item is not a group or the
  // group is full (1000 members on the network, 100 on the serial line).
  TreeItem AppendMember(TreeItem group, std::string_view label, TreeIcon icon);

  // Groups from the configuration under "Group" (members icon 1), "Group" expanded. False when
  // some did not fit; those that fit are built.
  bool BuildNetworkGroups(std::span<const TreeGroupLabels> groups);
  // Resets to serial mode and builds "PJTR 0", the ten range items with the set IDs 1..99 and
  // the groups, everything red until a set ID answers.
  bool BuildSerialTree(std::span<const TreeGroupLabels> groups);

  // Removes an item with its subtree; the roots stay. The selection is forgotten when the
  // selected item goes with it.
  bool RemoveItem(TreeItem item);
  bool Relabel(TreeItem item, std::string_view label);
  bool SetIcon(TreeItem item, TreeIcon icon);
  bool SetImages(TreeItem item, TreeImages images);
  bool Expand(TreeItem item, bool expanded = true);

  // The selected display connected or failed: its icon, m_bConnect, then the members.
  void MarkConnected();
  void MarkSelectedDisconnected();
  // A command to the display with this address failed or succeeded.
  void MarkDisconnected(std::string_view address);
  void MarkCurrentConnected(std::string_view address);
  // A page read got an answer from the selected display: m_bConnect is 1, icons unchanged.
  void NoteSelectedAnswered() { m_view.m_bConnect = 1; }
  // Members show the state of their display: on the network every "Single" child's icon is
  // copied to the members with its key; on the serial line only the selected item's.
  // On the network, while a batch is open, the copy waits for the batch to close.
  void PropagateIcons();
  // The same at once, batch or not, for a caller that lets others change the tree between two
  // groups: `between` runs before each group and returns true when the tree may have changed.
  void PropagateIconsBetweenGroups(const std::function<bool()>& between);
  // A batch of network marks: a group's or a pass's members are marked one after another, and
  // copying every display's icon to every member after each of them made the work grow with
  // the square of the fleet. The members follow their displays once, when the outermost batch
  // closes; nothing may read a member's icon in between. Batches nest.
  void BeginIconBatch() { ++m_iconBatch; }
  void EndIconBatch();

  // A display was renamed to newLabel: in each group the first member with its key becomes
  // "[n]" newLabel. Returns how many members changed.
  int RelabelMembers(std::string_view newLabel);
  // A display moved to another address: every item that stands for it, under "Single" and in
  // the groups, ends in the new address, with its name and position kept ("[Hall]10.0.0.9").
  // Returns how many items changed.
  int RekeyItems(std::string_view oldKey, std::string_view newKey);
  // After a member was removed: every member becomes "[n]" followed by its display label.
  void RenumberMembers();

  // What is saved: the labels of the "Single" children, and every group with its members.
  std::vector<std::string> SingleLabels() const;
  std::vector<TreeGroupLabels> GroupLabels() const;

  // The selection changed: remembered first, then what it designates. A network group also
  // fills m_groupMemberList and m_groupMemberCount.
  Designation Select(TreeItem item);

 private:
  void AddSerialSetItems();
  void SyncGroupItems();
  void SetMemberImagesByKey(std::string_view key, TreeImages images);
  void MarkSelected(TreeIcon icon, int connected);
  void MarkByAddress(std::string_view address, TreeIcon icon);
  void PropagateNetworkIcons(const std::function<bool()>& between);
  bool IsInSubtree(TreeItem item, TreeItem top) const;
  int MemberCapacity() const;

  TreeModel m_model;
  TreeMode m_mode = TreeMode::kNetwork;
  TreeItem m_hSingleRoot = kNoItem;
  TreeItem m_hGroupRoot = kNoItem;
  std::array<TreeItem, kMaxGroups> m_hGroupItem{};
  TreeViewState m_view;
  int m_iconBatch = 0;
  bool m_iconsPending = false;
};

}  // namespace tarnex
