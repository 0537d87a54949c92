#include <gtest/gtest.h>

#include "console/link_supervisor.h"
#include "console/selection_handler.h"
#include "support/console_fixture.h"
#include "support/recording_pages.h"
#include "support/trace_recorder.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;
using testing::RecordingPages;

class SelectionTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ConsoleFixture::SetUp();
    handler = std::make_unique<CSelectionHandler>(*core, pages);
  }

  RecordingPages pages;
  std::unique_ptr<CSelectionHandler> handler;
};

TEST_F(SelectionTest, AConnectedDisplayBecomesTheTargetAndItsPageIsRead) {
  fleet.Add({.address = Loopback(75)});
  fleet.Add({.address = Loopback(76)});
  Configure({Loopback(75), Loopback(76)});
  doc->m_docDisplays[1].m_label = "[Stage]" + Loopback(76);
  core->BuildTree();

  handler->OnSelectionChanged(SingleItem(1));

  Settle();

  const DisplayId stage = core->Lock()->IdAt(1);
  EXPECT_EQ(Selected(), Selection::Display(stage, Loopback(76), SingleItem(1)));
  EXPECT_TRUE(SelectionUsable());
  EXPECT_EQ(pages.refreshes, 1);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(SelectionTest, ADisconnectedDisplayIsConnectedOrReportedOnce) {
  fleet.Add({.address = Loopback(77), .refuse = true});
  Configure({Loopback(77)}, {{"G", {"[1]" + Loopback(77)}}});
  core->BuildTree();

  handler->OnSelectionChanged(SingleItem(0));

  Settle();
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Connection Fail"});
  EXPECT_FALSE(SelectionUsable());
  EXPECT_EQ(pages.refreshes, 0);

  fleet.Find(Loopback(77))->SetRefuse(false);
  Tree().Select(kNoItem);
  handler->OnSelectionChanged(SingleItem(0));
  Settle();
  EXPECT_EQ(ui.Messages().size(), 1u);
  EXPECT_TRUE(SelectionUsable());
  EXPECT_EQ(pages.refreshes, 1);
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(Tree().Model().Child(Tree().GroupItem(0), 0)), TreeIcon::kConnected);
}

// A member left behind when its display moved has no table entry; Connect must not give the
// previously selected display's entry its address.
TEST_F(SelectionTest, ConnectOnAMemberWithoutADisplayDoesNothing) {
  fleet.Add({.address = Loopback(70), .refuse = true});
  fleet.Add({.address = Loopback(71)});
  Configure({Loopback(70)}, {{"G", {"[1]" + Loopback(71)}}});
  core->BuildTree();
  handler->OnSelectionChanged(SingleItem(0));  // down: "Connection Fail"
  Settle();
  handler->OnSelectionChanged(Tree().Model().Child(Tree().GroupItem(0), 0));
  Settle();

  handler->OnConnectCommand();

  Settle();

  EXPECT_EQ(doc->m_docDisplays[0].m_address, Loopback(70));
  EXPECT_EQ(doc->m_docSocketNumber, 1);
  EXPECT_TRUE(fleet.CommandsTo(Loopback(71)).empty());
  for (const std::string& ip : sockets.Connects()) EXPECT_NE(ip, Loopback(71));
}

TEST_F(SelectionTest, ConnectOfAMemberTurnsTheDisplayAndEveryMemberItemCyan) {
  fleet.Add({.address = Loopback(72), .refuse = true});
  Configure({Loopback(72)}, {{"A", {"[1]" + Loopback(72)}}, {"B", {"[1]" + Loopback(72)}}});
  core->BuildTree();
  const TreeItem member = Tree().Model().Child(Tree().GroupItem(0), 0);
  handler->OnSelectionChanged(member);  // down: "Connection Fail"
  Settle();
  fleet.Find(Loopback(72))->SetRefuse(false);

  handler->OnConnectCommand();

  Settle();

  EXPECT_EQ(doc->m_docConnectState[0], 1);
  EXPECT_TRUE(SelectionUsable());  // the page tabs refresh again
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(member), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(Tree().Model().Child(Tree().GroupItem(1), 0)), TreeIcon::kConnected);
}

TEST_F(SelectionTest, GroupsBecomeTargetsOnlyWithMembers) {
  fleet.Add({.address = Loopback(78)});
  Configure({Loopback(78)}, {{"Full", {"[1]" + Loopback(78)}}, {"Empty", {}}});
  core->BuildTree();
  pages.groupStatusActive = true;

  handler->OnSelectionChanged(Tree().GroupItem(0));

  Settle();
  EXPECT_TRUE(SelectionUsable());
  EXPECT_EQ(Selected().kind(), Selection::Kind::kGroup);
  EXPECT_EQ(Tree().ViewState().m_groupMemberList, std::vector<std::string>{Loopback(78)});
  EXPECT_EQ(pages.groupRefreshes, std::vector<int>{1});
  EXPECT_EQ(pages.refreshes, 0);  // a group refreshes no display page

  handler->OnSelectionChanged(Tree().GroupItem(1));

  Settle();
  EXPECT_FALSE(SelectionUsable());
  EXPECT_EQ(core->Transaction().SendCommand("ka 01 01\n"), std::nullopt);
  EXPECT_EQ(pages.memberCount, 0);

  handler->OnSelectionChanged(Tree().SingleRoot());

  Settle();
  EXPECT_TRUE(Selected().IsNothing());
}

TEST_F(SelectionTest, ConnectUsesTheAddressAfterTheBracketedName) {
  fleet.Add({.address = Loopback(79), .refuse = true});
  Configure({Loopback(79)});
  doc->m_docDisplays[0].m_label = "[Foyer]" + Loopback(79);
  core->BuildTree();
  handler->OnSelectionChanged(SingleItem(0));  // fails: "Connection Fail"
  Settle();

  fleet.Find(Loopback(79))->SetRefuse(false);
  handler->OnConnectCommand();
  Settle();

  EXPECT_EQ(doc->m_docConnectState[0], 1);
  EXPECT_TRUE(SelectionUsable());
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kConnected);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Connection Fail"});
  handler->OnConnectCommand();  // already up: nothing to do
  Settle();
  EXPECT_TRUE(Eventually([&] { return fleet.Find(Loopback(79))->Connections() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(fleet.Find(Loopback(79))->Connections(), 1);
}

TEST_F(SelectionTest, SerialItemsGiveTheirSetId) {
  doc->m_docCommunicationSelect = kSerialMode;
  core->BuildTree();
  const TreeModel& model = Tree().Model();

  handler->OnSelectionChanged(model.Child(model.Child(Tree().SingleRoot(), 2), 4));

  Settle();
  EXPECT_EQ(Selected().setNumber(), 15);
  EXPECT_EQ(Selected().SetId(), "0f");
  EXPECT_EQ(Selected().SetNumberText(), "15");
  EXPECT_TRUE(SelectionUsable());
  EXPECT_EQ(pages.refreshes, 1);

  handler->OnSelectionChanged(model.Child(Tree().SingleRoot(), 0));  // PJTR 0

  Settle();
  EXPECT_EQ(Selected().SetId(), "00");
  EXPECT_EQ(pages.refreshes, 1);  // set ID 00 is not read

  handler->OnSelectionChanged(model.Child(Tree().SingleRoot(), 1));  // a range

  Settle();
  EXPECT_FALSE(SelectionUsable());
}

class SupervisionTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ConsoleFixture::SetUp();
    handler = std::make_unique<CSelectionHandler>(*core, pages);
    supervisor = std::make_unique<CLinkSupervisor>(*core, pages);
  }
  void TearDown() override {
    supervisor.reset();
    ConsoleFixture::TearDown();
  }

  RecordingPages pages;
  std::unique_ptr<CSelectionHandler> handler;
  std::unique_ptr<CLinkSupervisor> supervisor;
  testing::TraceRecorder traces;
};

TEST_F(SupervisionTest, APassWithNothingDownOnlyChecks) {
  fleet.Add({.address = Loopback(81)});
  Configure({Loopback(81)});
  core->BuildTree();
  fleet.ClearLog();

  const size_t before = traces.Lines().size();
  supervisor->RunPass();

  const std::vector<std::string> lines = traces.Lines();
  EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
            std::vector<std::string>{"Disconnect Check"});
  EXPECT_TRUE(Eventually([&] { return fleet.Find(Loopback(81))->Connections() == 1; }));
}

TEST_F(SupervisionTest, ADisplaySwitchedBackOnIsReconnectedByTheNextPass) {
  fleet.Add({.address = Loopback(82)});
  fleet.Add({.address = Loopback(83), .refuse = true});
  Configure({Loopback(82), Loopback(83)}, {{"G", {"[1]" + Loopback(83)}}});
  core->BuildTree();
  handler->OnSelectionChanged(SingleItem(1));  // the operator looks at the lost display
  Settle();
  pages.groupStatusActive = true;

  fleet.Find(Loopback(83))->SetRefuse(false);
  ASSERT_TRUE(supervisor->OnTick());
  supervisor->Wait();

  EXPECT_EQ(doc->m_docConnectState[1], 1);
  EXPECT_EQ(IconOf(SingleItem(1)), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(Tree().Model().Child(Tree().GroupItem(0), 0)), TreeIcon::kConnected);
  EXPECT_TRUE(SelectionUsable());
  EXPECT_EQ(Operations().back(), Loopback(83) + " Auto Connection is Success");
  EXPECT_TRUE(traces.Contains("TRY ReConnection"));
  EXPECT_EQ(pages.diagnoses, std::vector<int>{0});
}

// While a member of the selected group is down, every pass re-reads the open list though it
// reconnects nobody; a display down outside the selected group asks for nothing.
TEST_F(SupervisionTest, APassRereadsTheOpenListWhileAMemberIsDown) {
  const std::string up = Loopback(85), down = Loopback(86);
  fleet.Add({.address = up});
  fleet.Add({.address = down, .refuse = true});
  Configure({up, down}, {{"Up", {"[1]" + up}}, {"Both", {"[1]" + up, "[2]" + down}}});
  core->BuildTree();
  pages.groupStatusActive = true;
  handler->OnSelectionChanged(Tree().GroupItem(0));
  Settle();
  supervisor->RunPass();
  EXPECT_TRUE(pages.diagnoses.empty());

  handler->OnSelectionChanged(Tree().GroupItem(1));
  Settle();
  supervisor->RunPass();
  supervisor->RunPass();

  EXPECT_EQ(pages.diagnoses, (std::vector<int>{2, 2}));
  EXPECT_EQ(doc->m_docConnectState[1], 0);
}

TEST_F(SupervisionTest, TicksDoNothingOnTheSerialLine) {
  doc->m_docCommunicationSelect = kSerialMode;
  EXPECT_FALSE(supervisor->OnTick());
}

// Thirty refusing displays take a pass two seconds; a closing console must not wait for it.
TEST_F(SupervisionTest, AStopEndsARunningPassPromptly) {
  std::vector<std::string> addresses;
  for (int i = 1; i <= 30; ++i) addresses.push_back(Loopback(i));
  Configure(addresses);
  core->BuildTree();
  core->SetSleeper(RealSleeper());
  ASSERT_TRUE(supervisor->OnTick());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  const auto started = std::chrono::steady_clock::now();
  core->Stop();
  supervisor->Wait();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
  EXPECT_EQ(doc->m_docConnectState[0], 0);
}

TEST_F(SupervisionTest, ATickWhileAPassRunsIsSkipped) {
  fleet.Add({.address = Loopback(84), .refuse = true});
  Configure({Loopback(84)});
  core->BuildTree();
  // The pass waits out the second between its two attempts: long enough to tick again.
  core->SetSleeper([](std::chrono::milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  });

  ASSERT_TRUE(supervisor->OnTick());
  EXPECT_FALSE(supervisor->OnTick());
  supervisor->Wait();
  EXPECT_FALSE(supervisor->PassRunning());
  EXPECT_TRUE(supervisor->OnTick());
  supervisor->Wait();
  EXPECT_EQ(doc->m_docConnectState[0], 0);
}

}  // namespace
}  // namespace tarnex
