#include <gtest/gtest.h>

#include <thread>

#include "registry/tree_labels.h"
#include "support/console_fixture.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;

class TreeBuildingTest : public ConsoleFixture {};

TEST_F(TreeBuildingTest, EveryStoredDisplayIsConnectedOnceAndShownByItsState) {
  fleet.Add({.address = Loopback(51)});
  fleet.Add({.address = Loopback(52), .refuse = true});
  fleet.Add({.address = Loopback(53)});
  Configure({Loopback(51), Loopback(52), Loopback(53)},
            {{"Lobby", {"[1]" + Loopback(51), "[2]" + Loopback(52)}}, {"Empty", {}}});
  doc->m_docDisplays[0].m_label = "[Entrance]" + Loopback(51);

  core->BuildTree();

  const DeviceTree& tree = Tree();
  EXPECT_EQ(doc->m_docSocketNumber, 3);
  EXPECT_EQ(tree.SingleLabels(),
            (std::vector<std::string>{"[Entrance]" + Loopback(51), Loopback(52), Loopback(53)}));
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(SingleItem(1)), TreeIcon::kDisconnected);
  EXPECT_EQ(IconOf(SingleItem(2)), TreeIcon::kConnected);
  EXPECT_EQ((std::vector<int>{doc->m_docConnectState[0], doc->m_docConnectState[1],
                              doc->m_docConnectState[2]}),
            (std::vector<int>{1, 0, 1}));
  // Members show their display's state once the icons are propagated.
  const TreeItem group = tree.GroupItem(0);
  ASSERT_NE(group, kNoItem);
  EXPECT_EQ(IconOf(tree.Model().Child(group, 0)), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(tree.Model().Child(group, 1)), TreeIcon::kDisconnected);
  EXPECT_EQ(tree.Model().ChildCount(tree.GroupItem(1)), 0);
  EXPECT_EQ(Operations(), (std::vector<std::string>{Loopback(51) + " Connected to Monitor",
                                                    Loopback(52) + " Disconnected to Monitor",
                                                    Loopback(53) + " Connected to Monitor"}));
}

// The connects end in any order (a silent display last); the tree and the history read in
// stored order, as connecting one display after another would leave them.
TEST_F(TreeBuildingTest, ConnectsThatEndOutOfOrderAreRecordedInStoredOrder) {
  fleet.Add({.address = Loopback(46), .unreachable = true});
  fleet.Add({.address = Loopback(47)});
  fleet.Add({.address = Loopback(48), .refuse = true});
  Configure({Loopback(46), Loopback(47), Loopback(48)});
  core->BuildTree();

  EXPECT_EQ(Tree().SingleLabels(),
            (std::vector<std::string>{Loopback(46), Loopback(47), Loopback(48)}));
  EXPECT_EQ(Operations(), (std::vector<std::string>{Loopback(46) + " Disconnected to Monitor",
                                                    Loopback(47) + " Connected to Monitor",
                                                    Loopback(48) + " Disconnected to Monitor"}));
  EXPECT_EQ(IconOf(SingleItem(1)), TreeIcon::kConnected);
}

// The window shows a display as soon as it and every display stored before it are in, while
// later ones still time out.
TEST_F(TreeBuildingTest, DisplaysAppearWhileLaterOnesStillTimeOut) {
  fleet.Add({.address = Loopback(49)});
  fleet.Add({.address = Loopback(45), .unreachable = true});
  Configure({Loopback(49), Loopback(45)});
  std::thread build([&] { core->BuildTree(); });
  const bool firstShown = Eventually([&] {
    auto state = core->Lock();
    return state->Tree().Model().ChildCount(state->Tree().SingleRoot()) == 1;
  });
  // The table holds every stored display from the start; only the tree waits for the connects.
  bool stillBuilding;
  int tableDuringBuild;
  {
    auto state = core->Lock();
    stillBuilding = state->Tree().Model().ChildCount(state->Tree().SingleRoot()) == 1;
    tableDuringBuild = state->Doc().m_docSocketNumber;
  }
  build.join();
  EXPECT_TRUE(firstShown);
  EXPECT_TRUE(stillBuilding);
  EXPECT_EQ(tableDuringBuild, 2);
  EXPECT_EQ(Tree().SingleLabels(), (std::vector<std::string>{Loopback(49), Loopback(45)}));
}

TEST_F(TreeBuildingTest, ADuplicateAddressIsMergedIntoItsFirstEntry) {
  fleet.Add({.address = Loopback(54)});
  fleet.Add({.address = Loopback(55)});
  Configure({Loopback(54), Loopback(55), Loopback(54)});
  doc->m_docDisplays[0].m_label = "[First]" + Loopback(54);
  doc->m_docDisplays[2].m_label = "[Second]" + Loopback(54);

  core->BuildTree();

  EXPECT_EQ(doc->m_docSocketNumber, 2);
  EXPECT_EQ(Tree().SingleLabels(),
            (std::vector<std::string>{"[First]" + Loopback(54), Loopback(55)}));
  EXPECT_EQ(doc->m_docDisplays[1].m_address, Loopback(55));
  EXPECT_EQ(doc->m_docConnectState[0], 1);
  EXPECT_NE(core->Link().SocketOf(0), kNoSocket);
  EXPECT_EQ(core->Link().SocketOf(2), kNoSocket);
}

TEST_F(TreeBuildingTest, TheSerialTreeHoldsEverySetIdAndTheStoredGroups) {
  doc->m_docCommunicationSelect = kSerialMode;
  doc->m_docSerialGroupNumCount = 1;
  doc->m_docGroupName[0] = "Hall";
  doc->SetSerialGroupMemberCount(0, 2);
  doc->m_docSerialGroups[0].m_labels = {"[1]PJTR 5", "[2]PJTR 15"};

  core->BuildTree();

  const DeviceTree& tree = Tree();
  const TreeModel& model = tree.Model();
  EXPECT_EQ(model.ChildCount(tree.SingleRoot()), 11);  // "PJTR 0" and ten ranges
  EXPECT_EQ(model.Label(model.Child(tree.SingleRoot(), 0)), "PJTR 0");
  EXPECT_EQ(model.ChildCount(tree.GroupItem(0)), 2);
  EXPECT_EQ(model.Label(model.Child(tree.GroupItem(0), 1)), "[2]PJTR 15");
  EXPECT_TRUE(fleet.Log().empty());  // no network traffic in serial mode
}

TEST_F(TreeBuildingTest, ASaveStoresTheLabelsTheOperatorSees) {
  fleet.Add({.address = Loopback(56)});
  Configure({Loopback(56)}, {{"G", {"[1]" + Loopback(56)}}});
  core->BuildTree();
  {
    auto state = core->Lock();
    state->Tree().RelabelSingle(0, "[Renamed]" + Loopback(56));
    state->Tree().RelabelMembers("[Renamed]" + Loopback(56));
  }

  ASSERT_TRUE(doc->WriteNetworkConfig());

  COsprelNetworkManagerDoc reloaded;
  reloaded.OnNewDocument();
  EXPECT_EQ(reloaded.m_docDisplays[0].m_label, "[Renamed]" + Loopback(56));
  ASSERT_EQ(reloaded.m_docGroups[0].m_labels.size(), 1u);
  EXPECT_EQ(reloaded.m_docGroups[0].m_labels[0], "[1][Renamed]" + Loopback(56));
}

// A line about the selected display names none while nothing is selected: borrowing the
// address of the last connection would name another display in the report.
TEST_F(TreeBuildingTest, AnEmptyAddressInTheHistoryStaysEmpty) {
  fleet.Add({.address = Loopback(57)});
  core->Link().SetViewIp(Loopback(57));

  core->Lock()->AppendHistory("Power On");

  EXPECT_EQ(Operations(), std::vector<std::string>{" Power On"});

  doc->m_docCommunicationSelect = kSerialMode;
  core->BuildTree();
  SelectItem(Tree().Model().Child(Tree().Model().Child(Tree().SingleRoot(), 2), 4));  // PJTR 15
  core->Lock()->AppendHistory("Power Off");
  EXPECT_EQ(Operations("Serial_HistoryReport.txt"), std::vector<std::string>{"15 Power Off"});
}

}  // namespace
}  // namespace tarnex
