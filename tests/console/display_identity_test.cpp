// A command, a connect or a blame reaches the display the operator aimed at, whatever the
// operator selects, deletes or closes while it waits.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "console/command_transaction.h"
#include "console/group_editor.h"
#include "monitor/page_setter.h"
#include "support/loopback_block.h"
#include "support/selection_fixture.h"

namespace tarnex {
namespace {

using testing::Loopback;
using Texts = std::vector<std::string>;

using DisplayIdentityTest = testing::SelectionFixture;

// A group send waits for slow members; a command the operator gives meanwhile to the display
// selected then goes to that display, not to the group's last member.
TEST_F(DisplayIdentityTest, AGroupSendInFlightLeavesTheSelectionToTheOperator) {
  const std::string a = Loopback(1), b = Loopback(2), x = Loopback(3);
  fleet.Add({.address = a, .delayMs = 100});
  fleet.Add({.address = b, .delayMs = 100});
  fleet.Add({.address = x});
  Configure({a, b, x}, {{"Pair", {"[1]" + a, "[2]" + b}}});
  core->BuildTree();
  Select(Tree().GroupItem(0));
  const CommandTarget group = core->Transaction().CaptureTarget();
  std::thread send([&] { core->Transaction().SendCommand("kd 01 01\n", group); });
  ASSERT_TRUE(CommandsArrive(b, 1));

  Select(SingleItem(2));
  EXPECT_EQ(Send("ka 01 00\n"), "a 01 OK00x");
  send.join();

  EXPECT_EQ(fleet.CommandsTo(x), Texts{"ka 01 00\n"});
  EXPECT_EQ(fleet.CommandsTo(b), Texts{"kd 01 01\n"});
  const DisplayId third = core->Lock()->IdAt(2);
  EXPECT_EQ(Selected().display(), third);
}

// The rows after a deleted display move up while commands and connects aimed at it wait: they
// are dropped, and the display that moved into its row keeps its own link.
TEST_F(DisplayIdentityTest, ADeleteBetweenThePressAndTheRunSendsNothingToTheNextDisplay) {
  const std::string gone = Loopback(4), next = Loopback(5), unreachable = Loopback(6);
  fleet.Add({.address = gone});
  fleet.Add({.address = next});
  fleet.Add({.address = unreachable, .unreachable = true});
  Configure({gone, next, unreachable});
  core->BuildTree();
  Select(SingleItem(0));
  const CommandTarget aimed = core->Transaction().CaptureTarget();
  EXPECT_EQ(CGroupEditor(*core).DeleteProjector(), "");
  fleet.ClearLog();

  EXPECT_EQ(core->Transaction().SendCommand("ka 01 00\n", aimed), std::nullopt);
  EXPECT_TRUE(fleet.CommandsTo(next).empty());

  // The unreachable display, now in row 1, is connected on a worker; deleting it meanwhile
  // must not hand its failure to another row, nor lose a display from what is saved.
  handler->OnSelectionChanged(SingleItem(1));
  const DisplayId second = core->Lock()->IdAt(1);
  ASSERT_EQ(Selected().display(), second);
  EXPECT_EQ(CGroupEditor(*core).DeleteProjector(), "");
  Settle();
  EXPECT_EQ(doc->m_docSocketNumber, 1);
  EXPECT_EQ(doc->m_docDisplays[0].m_address, next);
  EXPECT_EQ(doc->m_docConnectState[0], 1);
  EXPECT_NE(core->Link().SocketOf(0), kNoSocket);
  EXPECT_TRUE(ui.Messages().empty());
  ASSERT_TRUE(doc->WriteNetworkConfig());
  COsprelNetworkManagerDoc reloaded;
  reloaded.OnNewDocument();
  EXPECT_EQ(reloaded.m_docSocketNumber, 1);
  EXPECT_EQ(reloaded.m_docDisplays[0].m_address, next);
}

// Closing while an early display still times out at start-up saves every stored display, and
// a group made in that second appears once.
TEST_F(DisplayIdentityTest, TheTableIsWholeFromTheStartOfTheConnects) {
  const std::string slow = Loopback(7), a = Loopback(8), b = Loopback(9);
  fleet.Add({.address = slow, .unreachable = true});
  fleet.Add({.address = a});
  fleet.Add({.address = b});
  Configure({slow, a, b}, {{"Old", {"[1]" + a}}});
  std::thread build([&] { core->BuildTree(); });
  ASSERT_TRUE(Eventually([&] { return core->Lock()->Tree().GroupCount() == 1; }));
  EXPECT_EQ(CGroupEditor(*core).MakeGroup("New"), "");
  {
    auto state = core->Lock();
    EXPECT_EQ(state->Doc().m_docSocketNumber, 3);
  }
  core->Stop();
  build.join();

  EXPECT_EQ(Tree().GroupCount(), 2);
  ASSERT_TRUE(doc->WriteNetworkConfig());
  COsprelNetworkManagerDoc reloaded;
  reloaded.OnNewDocument();
  ASSERT_EQ(reloaded.m_docSocketNumber, 3);
  EXPECT_EQ(reloaded.m_docDisplays[2].m_address, b);
  EXPECT_EQ(reloaded.m_docGroupNumCount, 2);
}

// A display whose link is closed fails at once, like a refused one: there is no socket to wait
// on, and nothing it did could be written to the history or mailed.
// The same for a group member whose link went between the operator's press and the send: the
// other members are sent to, the lost one is shown down, and nobody waits for it.
TEST_F(DisplayIdentityTest, AnExchangeWithoutASocketFailsAtOnceAndBlamesNobody) {
  const std::string a = Loopback(10), b = Loopback(11);
  fleet.Add({.address = a});
  fleet.Add({.address = b});
  Configure({a, b}, {{"Pair", {"[1]" + a, "[2]" + b}}});
  core->BuildTree();
  Select(SingleItem(0));
  core->Link().Sockets().Close(core->Lock()->IdAt(0));

  EXPECT_EQ(Send("ka 01 ff\n"), std::nullopt);
  EXPECT_TRUE(fleet.CommandsTo(a).empty());
  EXPECT_EQ(doc->m_docConnectState[0], 0);

  doc->m_docConnectState[0] = 1;  // as the send found it: the link shown up, its socket gone
  Select(Tree().GroupItem(0));
  const CommandTarget pair = core->Transaction().CaptureTarget();
  EXPECT_EQ(core->Transaction().SendCommand("kd 01 01\n", pair), "d 01 OK01x");
  EXPECT_TRUE(fleet.CommandsTo(a).empty());
  EXPECT_EQ(fleet.CommandsTo(b), Texts{"kd 01 01\n"});
  EXPECT_EQ(doc->m_docConnectState[0], 0);
  EXPECT_FALSE(HasOperation("Monitor is not communicated with PC"));
  EXPECT_TRUE(mailer.Alarms().empty());
}

// Once the selected display is deleted nothing is selected: no button reaches a display, not
// even Power On, which asks for no usable target, and least of all the display that moved up
// into the deleted one's row. Lines about "the current display" name none.
TEST_F(DisplayIdentityTest, AfterTheSelectedDisplayIsDeletedNothingReachesOrNamesAnyDisplay) {
  const std::string gone = Loopback(12), next = Loopback(13);
  fleet.Add({.address = gone});
  fleet.Add({.address = next});
  Configure({gone, next});
  core->BuildTree();
  Select(SingleItem(0));
  EXPECT_EQ(CGroupEditor(*core).DeleteProjector(), "");
  fleet.ClearLog();

  PostToSelection(*core, "ka 01 01\n");  // Power On
  EXPECT_FALSE(PostToTarget(*core, "ka 01 00\n"));
  EXPECT_EQ(core->Transaction().CaptureTarget().route, CommandTarget::Route::kNone);
  EXPECT_EQ(CGroupEditor(*core).MakeGroup("Hall"), "");
  ASSERT_TRUE(core->Jobs().WaitIdle(std::chrono::seconds(5)));

  EXPECT_TRUE(fleet.Log().empty());
  EXPECT_EQ(Operations().back(), " Create Hall Group");
  EXPECT_EQ(core->Lock()->SelectedAddress(), "");  // the address the login-change mail names
}

// A group may list an address that no display of the table has (a hand-edited or older file).
// That member selects nothing; the group skips it without a history line or a wait.
TEST_F(DisplayIdentityTest, AMemberThatStandsForNoDisplayActsOnNothing) {
  const std::string here = Loopback(14), missing = Loopback(15);
  fleet.Add({.address = here});
  Configure({here}, {{"Hall", {"[1]" + missing, "[2]" + here}}});
  core->BuildTree();
  Select(SingleItem(0));
  Select(Tree().Model().Child(Tree().GroupItem(0), 0));
  fleet.ClearLog();

  EXPECT_TRUE(Selected().IsNothing());
  PostToSelection(*core, "ka 01 01\n");
  EXPECT_EQ(core->Transaction().CaptureTarget().route, CommandTarget::Route::kNone);
  ASSERT_TRUE(core->Jobs().WaitIdle(std::chrono::seconds(5)));
  EXPECT_TRUE(fleet.Log().empty());

  Select(Tree().GroupItem(0));
  const DisplayId id = core->Lock()->IdAt(0);
  EXPECT_EQ(Selected().members(), (std::vector<SelectedMember>{{kNoDisplay, missing}, {id, here}}));
  EXPECT_EQ(Send("ka 01 00\n"), "a 01 OK00x");
  ASSERT_TRUE(CommandsArrive(here, 2));  // power goes twice
  EXPECT_EQ(fleet.CommandsTo(here), (Texts{"ka 01 00\n", "ka 01 00\n"}));
  EXPECT_EQ(Operations().back(), here + " Power Off");
}

}  // namespace
}  // namespace tarnex
