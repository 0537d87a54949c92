#include "registry/device_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry/tree_event_recorder.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

std::vector<std::string> ChildLabels(const DeviceTree& tree, TreeItem parent) {
  std::vector<std::string> labels;
  for (const TreeItem item : tree.Model().Children(parent)) {
    labels.push_back(tree.Model().Label(item));
  }
  return labels;
}

TreeIcon IconOf(const DeviceTree& tree, TreeItem item) {
  return tree.Model().Images(item).normal;
}

// Three displays, the first named, and one group holding the first and the third, built the
// way the configuration is loaded: addresses first, stored labels afterwards.
struct LobbyTree {
  DeviceTree tree;
  TreeItem a = tree.AppendSingle("10.0.0.1", TreeIcon::kDisconnected);
  TreeItem b = tree.AppendSingle("10.0.0.2", TreeIcon::kDisconnected);
  TreeItem c = tree.AppendSingle("10.0.0.3", TreeIcon::kDisconnected);

  LobbyTree() {
    tree.RelabelSingle(0, "[Lobby]10.0.0.1");
    const TreeGroupLabels groups[] = {
        {"Hall", {MemberLabel(1, "[Lobby]10.0.0.1"), MemberLabel(2, "10.0.0.3")}}};
    EXPECT_TRUE(tree.BuildNetworkGroups(groups));
  }
  TreeItem Member(int group, int row) const {
    return tree.Model().Child(tree.GroupItem(group), row);
  }
};

TEST(DeviceTree, RootsComeFirstInOrderWithTheirIcons) {
  DeviceTree tree;
  EXPECT_EQ(ChildLabels(tree, kNoItem), (std::vector<std::string>{"Single", "Group"}));
  EXPECT_EQ(IconOf(tree, tree.SingleRoot()), TreeIcon::kSingleRoot);
  EXPECT_EQ(IconOf(tree, tree.GroupRoot()), TreeIcon::kGroupRoot);
  EXPECT_FALSE(tree.RemoveItem(tree.SingleRoot()));
  EXPECT_FALSE(tree.RemoveItem(tree.GroupRoot()));
}

TEST(DeviceTree, NamedDisplayInAGroupIsFoundByItsAddress) {
  LobbyTree lobby;
  EXPECT_EQ(ChildLabels(lobby.tree, lobby.tree.GroupItem(0)),
            (std::vector<std::string>{"[1][Lobby]10.0.0.1", "[2]10.0.0.3"}));
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(0, 0)), TreeIcon::kConnected);
  EXPECT_TRUE(lobby.tree.Model().IsExpanded(lobby.tree.GroupRoot()));

  const Designation d = lobby.tree.Select(lobby.Member(0, 0));
  EXPECT_EQ(d.kind, TargetKind::kGroupMember);
  EXPECT_EQ(d.key, "10.0.0.1");
  const std::vector<std::string> addresses = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
  EXPECT_EQ(LastDisplayIndex(addresses, d.key), 0);
  EXPECT_EQ(lobby.tree.ViewState().m_hSelectedItem, lobby.Member(0, 0));
}

TEST(DeviceTree, ConnectAndFailOfTheSelectedDisplayReachItsMembers) {
  LobbyTree lobby;
  lobby.tree.Select(lobby.a);
  lobby.tree.MarkConnected();
  EXPECT_EQ(lobby.tree.ViewState().m_bConnect, 1);
  EXPECT_EQ(IconOf(lobby.tree, lobby.a), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(0, 0)), TreeIcon::kConnected);

  lobby.tree.MarkSelectedDisconnected();
  EXPECT_EQ(lobby.tree.ViewState().m_bConnect, 0);
  EXPECT_EQ(lobby.tree.Model().Images(lobby.a), TreeImages::Both(TreeIcon::kDisconnected));
  EXPECT_EQ(lobby.tree.Model().Images(lobby.Member(0, 0)),
            TreeImages::Both(TreeIcon::kDisconnected));
  // The third display was never connected: its member follows it to red as well.
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(0, 1)), TreeIcon::kDisconnected);
}

TEST(DeviceTree, CommandResultsMarkTheDisplayByAddress) {
  LobbyTree lobby;
  lobby.tree.SetIcon(lobby.a, TreeIcon::kConnected);
  lobby.tree.SetIcon(lobby.c, TreeIcon::kConnected);
  lobby.tree.PropagateIcons();

  lobby.tree.MarkDisconnected("10.0.0.3");
  EXPECT_EQ(IconOf(lobby.tree, lobby.c), TreeIcon::kDisconnected);
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(0, 1)), TreeIcon::kDisconnected);
  EXPECT_EQ(IconOf(lobby.tree, lobby.a), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(0, 0)), TreeIcon::kConnected);
  EXPECT_EQ(lobby.tree.ViewState().m_bConnect, 0);

  lobby.tree.MarkCurrentConnected("10.0.0.3");
  EXPECT_EQ(IconOf(lobby.tree, lobby.c), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(0, 1)), TreeIcon::kConnected);

  // A warning shown on a display is shown on its members too.
  lobby.tree.SetIcon(lobby.a, TreeIcon::kWarning);
  lobby.tree.PropagateIcons();
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(0, 0)), TreeIcon::kWarning);
}

// The marks of a group's members are batched under the console lock: the tree must end as it
// would have after marking one by one, members without a "Single" display included.
TEST(DeviceTree, MarksInABatchEndAsMarksOneByOne) {
  const auto mark = [](DeviceTree& tree) {
    tree.MarkDisconnected("10.0.0.1");
    tree.MarkCurrentConnected("10.0.0.3");
    tree.MarkDisconnected("10.0.0.9");
    tree.MarkCurrentConnected("10.0.0.1");
  };
  const TreeGroupLabels strays[] = {{"Stray", {MemberLabel(1, "10.0.0.9")}}};
  LobbyTree one;
  LobbyTree batched;
  for (LobbyTree* lobby : {&one, &batched}) {
    ASSERT_TRUE(lobby->tree.BuildNetworkGroups(strays));
    lobby->tree.SetIcon(lobby->c, TreeIcon::kDisconnected);
    lobby->tree.PropagateIcons();
  }
  mark(one.tree);

  batched.tree.BeginIconBatch();
  batched.tree.BeginIconBatch();
  mark(batched.tree);
  batched.tree.EndIconBatch();
  // Still inside the outer batch: the member of a listed display waits, a stray one does not.
  EXPECT_EQ(IconOf(batched.tree, batched.Member(0, 1)), TreeIcon::kDisconnected);
  EXPECT_EQ(IconOf(batched.tree, batched.Member(1, 0)), TreeIcon::kDisconnected);
  batched.tree.EndIconBatch();

  for (int group = 0; group < 2; ++group) {
    const int members = one.tree.Model().ChildCount(one.tree.GroupItem(group));
    for (int row = 0; row < members; ++row) {
      EXPECT_EQ(batched.tree.Model().Images(batched.Member(group, row)),
                one.tree.Model().Images(one.Member(group, row)))
          << "group " << group << " member " << row;
    }
  }
  EXPECT_EQ(IconOf(batched.tree, batched.Member(0, 1)), TreeIcon::kConnected);
}

// The start-up propagation runs inside a hold's batch and lets others in between two groups;
// whoever gets in may remove or mark a display, and the later groups follow the tree as it is
// then (the first group's keys were views of labels that may be gone).
TEST(DeviceTree, IconsPropagatedBetweenGroupsFollowWhatChangedInBetween) {
  LobbyTree lobby;
  const TreeGroupLabels foyer[] = {
      {"Foyer", {MemberLabel(1, "[Lobby]10.0.0.1"), MemberLabel(2, "10.0.0.3")}}};
  ASSERT_TRUE(lobby.tree.BuildNetworkGroups(foyer));
  lobby.tree.SetIcon(lobby.c, TreeIcon::kWarning);
  int calls = 0;
  lobby.tree.BeginIconBatch();
  lobby.tree.PropagateIconsBetweenGroups([&] {
    if (++calls != 2) return false;
    lobby.tree.RemoveItem(lobby.a);
    lobby.tree.SetIcon(lobby.c, TreeIcon::kDisconnected);
    return true;
  });
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(0, 0)), TreeIcon::kDisconnected);
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(0, 1)), TreeIcon::kWarning);
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(1, 0)), TreeIcon::kConnected) << "its display left";
  EXPECT_EQ(IconOf(lobby.tree, lobby.Member(1, 1)), TreeIcon::kDisconnected);
  lobby.tree.EndIconBatch();
}

TEST(DeviceTree, MarkingWithoutASelectionOrAfterItsRemovalChangesNothing) {
  LobbyTree lobby;
  lobby.tree.MarkConnected();  // nothing selected yet
  EXPECT_EQ(IconOf(lobby.tree, lobby.a), TreeIcon::kDisconnected);

  lobby.tree.Select(lobby.Member(0, 0));
  ASSERT_TRUE(lobby.tree.RemoveItem(lobby.tree.GroupItem(0)));
  EXPECT_EQ(lobby.tree.ViewState().m_hSelectedItem, kNoItem);
  lobby.tree.MarkConnected();
  EXPECT_EQ(IconOf(lobby.tree, lobby.a), TreeIcon::kDisconnected);
  EXPECT_EQ(lobby.tree.GroupItem(0), kNoItem);
}

TEST(DeviceTree, RenumberingAfterADeletionKeepsTheDisplayLabels) {
  DeviceTree tree;
  TreeGroupLabels twelve{"Wall", {}};
  for (int n = 1; n <= 12; ++n) {
    const std::string display =
        n % 3 == 0 ? "[Screen " + std::to_string(n) + "]10.0.1." + std::to_string(n)
                   : "10.0.1." + std::to_string(n);
    twelve.memberLabels.push_back(MemberLabel(n, display));
  }
  const TreeGroupLabels groups[] = {twelve, {"Other", {"[1]10.0.2.1", "[5]10.0.2.2"}}};
  ASSERT_TRUE(tree.BuildNetworkGroups(groups));
  ASSERT_TRUE(tree.RemoveItem(tree.Model().Child(tree.GroupItem(0), 1)));
  tree.RenumberMembers();

  std::vector<std::string> expected;
  for (int n = 1; n <= 12; ++n) {
    if (n == 2) continue;
    expected.emplace_back(StripPositionPrefix(twelve.memberLabels[static_cast<size_t>(n - 1)]));
  }
  const std::vector<std::string> labels = ChildLabels(tree, tree.GroupItem(0));
  ASSERT_EQ(labels.size(), 11u);
  for (size_t i = 0; i < labels.size(); ++i) {
    EXPECT_EQ(labels[i], MemberLabel(static_cast<int>(i) + 1, expected[i]));
  }
  EXPECT_EQ(labels[9], "[10]10.0.1.11");
  EXPECT_EQ(labels[10], "[11][Screen 12]10.0.1.12");
  EXPECT_EQ(ChildLabels(tree, tree.GroupItem(1)),
            (std::vector<std::string>{"[1]10.0.2.1", "[2]10.0.2.2"}));
}

TEST(DeviceTree, RenamingADisplayRelabelsOneMemberPerGroup) {
  DeviceTree tree;
  tree.AppendSingle("10.0.0.1", TreeIcon::kConnected);
  const TreeGroupLabels groups[] = {
      {"Hall", {"[1]10.0.0.9", "[2]10.0.0.1", "[3]10.0.0.1"}},
      {"Bar", {"[1][Old]10.0.0.1"}},
      {"Empty", {}},
  };
  ASSERT_TRUE(tree.BuildNetworkGroups(groups));
  ASSERT_TRUE(tree.RelabelSingle(0, "[Stage]10.0.0.1"));
  EXPECT_EQ(tree.RelabelMembers("[Stage]10.0.0.1"), 2);
  EXPECT_EQ(tree.SingleLabels(), (std::vector<std::string>{"[Stage]10.0.0.1"}));
  const std::vector<TreeGroupLabels> saved = tree.GroupLabels();
  const std::vector<TreeGroupLabels> want = {
      {"Hall", {"[1]10.0.0.9", "[2][Stage]10.0.0.1", "[3]10.0.0.1"}},
      {"Bar", {"[1][Stage]10.0.0.1"}},
      {"Empty", {}},
  };
  EXPECT_EQ(saved, want);
  // A label read from the tree itself may be passed, although the walk rewrites it.
  EXPECT_EQ(tree.RelabelMembers(tree.Model().Label(tree.Model().Child(tree.GroupItem(1), 0))), 2);
  // Removing the name gives the bare address back.
  EXPECT_EQ(tree.RelabelMembers("10.0.0.1"), 2);
  EXPECT_EQ(tree.GroupLabels()[1].memberLabels[0], "[1]10.0.0.1");
}

TEST(DeviceTree, DiscoveredDuplicatesAreMarkedTogether) {
  DeviceTree tree;
  tree.AppendSingle("10.0.0.1", TreeIcon::kDisconnected);
  tree.AppendSingle("[Spare]10.0.0.1", TreeIcon::kDisconnected);
  tree.AppendSingle("10.0.0.11", TreeIcon::kDisconnected);
  EXPECT_TRUE(tree.Model().IsExpanded(tree.SingleRoot()));
  EXPECT_EQ(tree.SetSingleIconsByKey("10.0.0.1", TreeIcon::kConnected), 2);
  EXPECT_EQ(IconOf(tree, tree.Model().Child(tree.SingleRoot(), 2)), TreeIcon::kDisconnected);
  EXPECT_EQ(tree.FindSingleByKey("10.0.0.11"), tree.Model().Child(tree.SingleRoot(), 2));
  EXPECT_EQ(tree.FindSingleByKey("10.0.0"), kNoItem);
  EXPECT_FALSE(tree.RelabelSingle(3, "x"));
  EXPECT_FALSE(tree.RelabelSingle(-1, "x"));
}

TEST(DeviceTree, SerialTreeHoldsEverySetIdOnce) {
  DeviceTree tree;
  ASSERT_TRUE(tree.BuildSerialTree({}));
  EXPECT_EQ(tree.Mode(), TreeMode::kSerial);
  const std::vector<std::string> top = ChildLabels(tree, tree.SingleRoot());
  const std::vector<std::string> wantTop = {"PJTR 0",        "PJTR(1 ~ 10)",  "PJTR(11 ~ 20)",
                                            "PJTR(21 ~ 30)", "PJTR(31 ~ 40)", "PJTR(41 ~ 50)",
                                            "PJTR(51 ~ 60)", "PJTR(61 ~ 70)", "PJTR(71 ~ 80)",
                                            "PJTR(81 ~ 90)", "PJTR(91 ~ 99)"};
  EXPECT_EQ(top, wantTop);

  std::vector<int> setIds;
  TreeItem fifteen = kNoItem;
  const TreeModel& model = tree.Model();
  for (const TreeItem item : model.Children(tree.SingleRoot())) {
    EXPECT_EQ(IconOf(tree, item), TreeIcon::kDisconnected);
    const std::span<const TreeItem> sets = model.Children(item);
    const std::vector<TreeItem> leaves = sets.empty()
                                             ? std::vector<TreeItem>{item}
                                             : std::vector<TreeItem>(sets.begin(), sets.end());
    for (const TreeItem leaf : leaves) {
      EXPECT_EQ(IconOf(tree, leaf), TreeIcon::kDisconnected);
      const Designation d = tree.Select(leaf);
      ASSERT_EQ(d.kind, TargetKind::kSerialSet) << model.Label(leaf);
      EXPECT_EQ(model.Label(leaf), "PJTR " + std::to_string(d.serialId));
      setIds.push_back(d.serialId);
      if (d.serialId == 15) fifteen = leaf;
    }
  }
  ASSERT_EQ(setIds.size(), 100u);
  for (int id = 0; id < 100; ++id) EXPECT_EQ(setIds[static_cast<size_t>(id)], id);
  EXPECT_EQ(tree.Select(fifteen).setId, "0f");
  EXPECT_EQ(tree.Select(model.FirstChild(tree.SingleRoot())).setId, "00");
  EXPECT_EQ(tree.Select(model.Child(tree.SingleRoot(), 10)).kind, TargetKind::kSerialRange);
  // Serial items are fixed; the network "Single" list does not grow here.
  EXPECT_EQ(tree.AppendSingle("10.0.0.1", TreeIcon::kConnected), kNoItem);
}

TEST(DeviceTree, SerialGroupsAreBuiltRedAndOpen) {
  DeviceTree tree;
  const TreeGroupLabels groups[] = {{"Left", {"[1]PJTR 15", "[2]PJTR 3"}}, {"Right", {}}};
  ASSERT_TRUE(tree.BuildSerialTree(groups));
  const TreeItem left = tree.GroupItem(0);
  EXPECT_EQ(ChildLabels(tree, left), (std::vector<std::string>{"[1]PJTR 15", "[2]PJTR 3"}));
  EXPECT_EQ(IconOf(tree, tree.Model().FirstChild(left)), TreeIcon::kDisconnected);
  EXPECT_TRUE(tree.Model().IsExpanded(left));
  EXPECT_TRUE(tree.Model().IsExpanded(tree.GroupRoot()));

  // A set ID that answers turns its member items cyan, and only those.
  const TreeItem set15 = tree.Model().Child(tree.Model().Child(tree.SingleRoot(), 2), 4);
  ASSERT_EQ(tree.Model().Label(set15), "PJTR 15");
  tree.Select(set15);
  tree.MarkConnected();
  EXPECT_EQ(IconOf(tree, tree.Model().FirstChild(left)), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(tree, tree.Model().Child(left, 1)), TreeIcon::kDisconnected);
}

TEST(DeviceTree, CapacitiesRefuseInsertionsCleanly) {
  DeviceTree tree;
  for (int i = 0; i < DeviceTree::kMaxDisplays; ++i) {
    ASSERT_NE(tree.AppendSingle("10.1." + std::to_string(i), TreeIcon::kDisconnected), kNoItem);
  }
  EXPECT_EQ(tree.AppendSingle("10.2.0.0", TreeIcon::kDisconnected), kNoItem);

  for (int g = 0; g < DeviceTree::kMaxGroups; ++g) {
    ASSERT_NE(tree.AppendGroup("G" + std::to_string(g)), kNoItem);
  }
  EXPECT_EQ(tree.AppendGroup("one too many"), kNoItem);
  EXPECT_EQ(tree.GroupItem(DeviceTree::kMaxGroups - 1),
            tree.Model().Child(tree.GroupRoot(), DeviceTree::kMaxGroups - 1));
  EXPECT_EQ(tree.GroupItem(DeviceTree::kMaxGroups), kNoItem);
  EXPECT_EQ(tree.GroupItem(-1), kNoItem);
  const TreeGroupLabels more[] = {{"late", {"[1]10.1.0"}}};
  EXPECT_FALSE(tree.BuildNetworkGroups(more));
  EXPECT_EQ(tree.GroupCount(), DeviceTree::kMaxGroups);

  const TreeItem group = tree.GroupItem(0);
  for (int m = 0; m < DeviceTree::kMaxNetworkMembers; ++m) {
    ASSERT_NE(tree.AppendMember(group, MemberLabel(m + 1, "10.1.0"), TreeIcon::kConnected),
              kNoItem);
  }
  EXPECT_EQ(tree.AppendMember(group, "[1001]10.1.0", TreeIcon::kConnected), kNoItem);
  // Members go under groups only.
  EXPECT_EQ(tree.AppendMember(tree.GroupRoot(), "x", TreeIcon::kConnected), kNoItem);
  EXPECT_EQ(tree.AppendMember(tree.FindSingleByKey("10.1.0"), "x", TreeIcon::kConnected), kNoItem);

  TreeGroupLabels big{"Big", std::vector<std::string>(101, "[1]PJTR 1")};
  const TreeGroupLabels serialGroups[] = {big};
  EXPECT_FALSE(tree.BuildSerialTree(serialGroups));
  EXPECT_EQ(tree.Model().ChildCount(tree.GroupItem(0)), DeviceTree::kMaxSerialMembers);
}

TEST(DeviceTree, RemovingAGroupMovesLaterGroupsDown) {
  DeviceTree tree;
  const TreeGroupLabels groups[] = {{"A", {"[1]1"}}, {"B", {"[1]2"}}, {"C", {"[1]3", "[2]4"}}};
  ASSERT_TRUE(tree.BuildNetworkGroups(groups));
  const TreeItem b = tree.GroupItem(1);
  const TreeItem c = tree.GroupItem(2);
  ASSERT_TRUE(tree.RemoveItem(tree.GroupItem(0)));
  EXPECT_EQ(tree.GroupItem(0), b);
  EXPECT_EQ(tree.GroupItem(1), c);
  EXPECT_EQ(tree.GroupItem(2), kNoItem);
  EXPECT_EQ(tree.GroupNumberOf(c), 1);
  EXPECT_EQ(ChildLabels(tree, c), (std::vector<std::string>{"[1]3", "[2]4"}));
}

// The events a Qt model adapter turns into begin/end calls while a display is found.
TEST(DeviceTree, ObserversSeeRowsUnderTheirParents) {
  DeviceTree tree;
  TreeEventRecorder recorder;
  tree.AddObserver(&recorder);
  const TreeItem a = tree.AppendSingle("10.0.0.1", TreeIcon::kDisconnected);
  const TreeItem b = tree.AppendSingle("10.0.0.2", TreeIcon::kDisconnected);
  tree.SetSingleIconsByKey("10.0.0.2", TreeIcon::kConnected);
  tree.RemoveItem(a);
  const std::string s = std::to_string(tree.SingleRoot());
  EXPECT_EQ(
      recorder.events,
      (std::vector<std::string>{
          "about-to-insert " + s + ":0 #0", "inserted " + s + ":0 #" + std::to_string(a),
          "expanded 0:0 #" + s, "about-to-insert " + s + ":1 #0",
          "inserted " + s + ":1 #" + std::to_string(b), "images " + s + ":1 #" + std::to_string(b),
          "about-to-remove " + s + ":0 #" + std::to_string(a), "removed " + s + ":0 #0"}));

  recorder.events.clear();
  tree.Reset(TreeMode::kNetwork);
  ASSERT_EQ(recorder.events.size(), 6u);
  EXPECT_EQ(recorder.events[0], "about-to-reset");
  EXPECT_EQ(recorder.events[1], "reset");
  EXPECT_NE(tree.SingleRoot(), std::stoul(s));  // roots of a new tree get new handles
  tree.RemoveObserver(&recorder);
}

TEST(DeviceTree, OddLabelsAreCarriedWithoutHarm) {
  const std::string longLabel = std::string(100000, '[') + "10.0.0.1";
  const std::string odd[] = {"]", "", "[", "[Lobby", "10.0.0.1]", "[]", longLabel};
  DeviceTree tree;
  TreeGroupLabels group{"Odd", {}};
  for (const std::string& label : odd) {
    ASSERT_NE(tree.AppendSingle(label, TreeIcon::kConnected), kNoItem);
    group.memberLabels.push_back(label);
  }
  const TreeGroupLabels groups[] = {group};
  ASSERT_TRUE(tree.BuildNetworkGroups(groups));
  tree.PropagateIcons();
  tree.RenumberMembers();
  tree.RelabelMembers("]");
  const std::vector<std::string> members = tree.GroupLabels()[0].memberLabels;
  ASSERT_EQ(members.size(), std::size(odd));
  for (size_t i = 0; i < members.size(); ++i) {
    EXPECT_EQ(DisplayKey(members[i]), DisplayKey(odd[i])) << i;
    const Designation d = tree.Select(tree.Model().Child(tree.GroupItem(0), static_cast<int>(i)));
    EXPECT_EQ(d.key, DisplayKey(odd[i]));
  }
  EXPECT_EQ(members[1], "[2]");
  EXPECT_EQ(members[6], "[7]" + longLabel);
}

}  // namespace
}  // namespace tarnex
