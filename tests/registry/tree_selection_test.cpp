#include "registry/tree_selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/device_tree.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

TEST(TreeSelection, RootsAndStaleItemsDesignateNothing) {
  DeviceTree tree;
  const TreeItem gone = tree.AppendSingle("10.0.0.1", TreeIcon::kConnected);
  tree.RemoveItem(gone);
  for (const TreeItem item : {tree.SingleRoot(), tree.GroupRoot(), gone, kNoItem}) {
    const Designation d = tree.Select(item);
    EXPECT_EQ(d.kind, TargetKind::kNone) << item;
    EXPECT_FALSE(d.IsTarget());
  }
}

TEST(TreeSelection, NetworkGroupDesignatesItsMembersInOrder) {
  DeviceTree tree;
  const TreeGroupLabels groups[] = {
      {"Hall", {"[1][Lobby]10.0.0.1", "[2]10.0.0.3"}},
      {"Empty", {}},
  };
  ASSERT_TRUE(tree.BuildNetworkGroups(groups));

  const Designation hall = tree.Select(tree.GroupItem(0));
  EXPECT_EQ(hall.kind, TargetKind::kNetworkGroup);
  EXPECT_EQ(hall.groupNumber, 0);
  EXPECT_EQ(hall.memberKeys, (std::vector<std::string>{"10.0.0.1", "10.0.0.3"}));
  EXPECT_TRUE(hall.IsTarget());
  EXPECT_EQ(tree.ViewState().m_groupMemberList, hall.memberKeys);
  EXPECT_EQ(tree.ViewState().m_groupMemberCount, 2);

  const Designation empty = tree.Select(tree.GroupItem(1));
  EXPECT_EQ(empty.kind, TargetKind::kNetworkGroup);
  EXPECT_TRUE(empty.memberKeys.empty());
  EXPECT_FALSE(empty.IsTarget());
  EXPECT_TRUE(tree.ViewState().m_groupMemberList.empty());
  EXPECT_EQ(tree.ViewState().m_groupMemberCount, 0);
}

// A network group may hold 1000 members; selecting it must address every one of them, not
// the first 300, and must not write past any fixed list.
TEST(TreeSelection, LargeGroupIsDesignatedWhole) {
  DeviceTree tree;
  TreeGroupLabels big{"Stadium", {}};
  for (int m = 1; m <= DeviceTree::kMaxNetworkMembers; ++m) {
    big.memberLabels.push_back(
        MemberLabel(m, "10.3." + std::to_string(m / 256) + "." + std::to_string(m % 256)));
  }
  const TreeGroupLabels groups[] = {big};
  ASSERT_TRUE(tree.BuildNetworkGroups(groups));
  const Designation d = tree.Select(tree.GroupItem(0));
  ASSERT_EQ(d.memberKeys.size(), 1000u);
  EXPECT_EQ(d.memberKeys[300], "10.3.1.45");
  EXPECT_EQ(d.memberKeys[999], "10.3.3.232");
  EXPECT_EQ(tree.ViewState().m_groupMemberCount, 1000);
  EXPECT_EQ(tree.ViewState().m_groupMemberList.back(), "10.3.3.232");
}

TEST(TreeSelection, SerialItemsDesignateSetIds) {
  DeviceTree tree;
  const TreeGroupLabels groups[] = {
      {"Twin", {"[1]PJTR 15", "[2]PJTR 99", "[3]PJTR 100", "[4]PJTR x", "[5]"}},
      {"Twin", {"[1]PJTR 9"}},
      {"Empty", {}},
  };
  ASSERT_TRUE(tree.BuildSerialTree(groups));
  const TreeModel& model = tree.Model();
  struct Case {
    int row;
    TargetKind kind;
    int serialId;
    const char* setId;
  };
  // Only set IDs the line can address designate anything; hand-edited members that carry
  // none address nothing rather than a guess.
  const Case cases[] = {
      {0, TargetKind::kSerialSet, 15, "0f"}, {1, TargetKind::kSerialSet, 99, "63"},
      {2, TargetKind::kNone, -1, ""},        {3, TargetKind::kNone, -1, ""},
      {4, TargetKind::kNone, -1, ""},
  };
  for (const Case& c : cases) {
    const Designation d = tree.Select(model.Child(tree.GroupItem(0), c.row));
    EXPECT_EQ(d.kind, c.kind) << c.row;
    EXPECT_EQ(d.serialId, c.serialId) << c.row;
    EXPECT_EQ(d.setId, c.setId) << c.row;
    EXPECT_EQ(d.IsTarget(), c.kind == TargetKind::kSerialSet) << c.row;
  }

  // Two serial groups may share a name; each item designates its own group.
  for (const int g : {0, 1}) {
    const Designation d = tree.Select(tree.GroupItem(g));
    EXPECT_EQ(d.kind, TargetKind::kSerialGroup);
    EXPECT_EQ(d.groupNumber, g);
    EXPECT_TRUE(d.IsTarget());
  }
  EXPECT_EQ(tree.Select(tree.GroupItem(1)).memberKeys, (std::vector<std::string>{"PJTR 9"}));
  EXPECT_FALSE(tree.Select(tree.GroupItem(2)).IsTarget());
  // Serial groups leave the network member list alone.
  EXPECT_EQ(tree.ViewState().m_groupMemberCount, 0);
}

TEST(TreeSelection, TheLastDisplayWithTheAddressIsChosen) {
  const std::vector<std::string> addresses = {"10.0.0.1", "10.0.0.2", "10.0.0.1", ""};
  EXPECT_EQ(LastDisplayIndex(addresses, "10.0.0.1"), 2);
  EXPECT_EQ(LastDisplayIndex(addresses, "10.0.0.2"), 1);
  EXPECT_EQ(LastDisplayIndex(addresses, ""), 3);
  EXPECT_EQ(LastDisplayIndex(addresses, "10.0.0.10"), std::nullopt);
  EXPECT_EQ(LastDisplayIndex({}, "10.0.0.1"), std::nullopt);
}

}  // namespace
}  // namespace tarnex
