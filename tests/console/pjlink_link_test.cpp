#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "console/group_editor.h"
#include "console/link_supervisor.h"
#include "console/pjlink_links.h"
#include "monitor/group_status.h"
#include "monitor/page_setter.h"
#include "protocol/command_catalogue.h"
#include "support/jobs_held.h"
#include "support/pjlink_fixture.h"
#include "support/recording_pages.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;
using testing::Loopback;
namespace query = protocol::query;
namespace command = protocol::command;

constexpr std::string_view kLinkLost = "Monitor is not communicated with PC";

using PjlinkLinkTest = testing::PjlinkFixture;

TEST_F(PjlinkLinkTest, TheHashGoesBeforeTheFirstCommandOfASession) {
  fleet.AddPjlink({.address = Loopback(1), .password = "JBMIAProjectorLink", .random = "498e4a67"});
  Configure({Loopback(1)});
  MakePjlink(0, "JBMIAProjectorLink");
  core->BuildTree();

  const DisplayId id = core->Lock()->IdAt(0);
  const auto power = core->Transaction().SendCommandToDisplay(id, protocol::query::kPower);

  ASSERT_TRUE(CommandsArrive(Loopback(1), 2));
  const std::vector<std::string> commands = fleet.CommandsTo(Loopback(1));
  EXPECT_EQ(commands[0], "5d8409bc1c3fa39749434aa3a5c38682%1CLSS ?\r");
  EXPECT_EQ(commands[1], "%1POWR ?\r");
  EXPECT_EQ(power, "a 01 OK00x");  // the simulator starts in standby
  EXPECT_EQ(core->Lock()->FactsOf(id)->pjlink.linkClass, 1);
}

TEST_F(PjlinkLinkTest, AMixedGroupGetsEachKindsBytesAndHistoryInMemberOrder) {
  fleet.Add({.address = Loopback(2)});
  fleet.AddPjlink({.address = Loopback(3)});
  fleet.Add({.address = Loopback(4)});
  Configure({Loopback(2), Loopback(3), Loopback(4)},
            {{"Hall", {Loopback(2), Loopback(3), Loopback(4)}}});
  MakePjlink(1);
  core->BuildTree();
  fleet.ClearLog();

  core->Transaction().Send(protocol::command::kPowerOff, SelectGroup());

  ASSERT_TRUE(CommandsArrive(Loopback(4), 2));
  EXPECT_EQ(fleet.CommandsTo(Loopback(2)), (std::vector<std::string>{"ka 01 00\n", "ka 01 00\n"}));
  EXPECT_EQ(fleet.CommandsTo(Loopback(3)), (std::vector<std::string>{"%1POWR 0\r"}));
  std::vector<std::string> powerLines;
  for (const std::string& line : Operations()) {
    if (line.find("Power Off") != std::string::npos) powerLines.push_back(line);
  }
  EXPECT_EQ(powerLines,
            (std::vector<std::string>{Loopback(2) + " Power Off", Loopback(3) + " Power Off",
                                      Loopback(4) + " Power Off"}));

  // The group's status has a row for the PJLink member too, though it has no kind to ask.
  const GroupStatusRead status =
      ReadGroupStatus(*core, SelectGroup(), 3, GroupReadMode::kRebuild, {}, nullptr);
  ASSERT_EQ(status.rows.size(), 3u);
  EXPECT_EQ(status.rows[1].power, "Off");
  EXPECT_EQ(status.rows[1].lampTime1, "1200");  // the simulator's lamp
}

// ---- Passwords ----

// A refused password is shown once and left alone: supervision knocking with it again would
// only lock out a display that counts failed logins. A new password is tried at once, once.
// A display asking for a password the console has none for is refused the same way, and is
// sent nothing at all.
TEST_F(PjlinkLinkTest, ARefusedPasswordIsTriedAgainOnlyWithANewOne) {
  const std::string wrong = Loopback(20), missing = Loopback(21);
  sim::PjlinkDisplay& wrongDisplay = fleet.AddPjlink({.address = wrong, .password = "right"});
  sim::PjlinkDisplay& missingDisplay = fleet.AddPjlink({.address = missing, .password = "secret"});
  Configure({wrong, missing});
  MakePjlink(0, "wrong");
  MakePjlink(1);
  core->BuildTree();
  const DisplayId wrongId = core->Lock()->IdAt(0), missingId = core->Lock()->IdAt(1);

  for (const DisplayId id : {wrongId, missingId}) EXPECT_TRUE(Facts(id).authFailed);
  EXPECT_EQ(CountOperations(wrong + " Password rejected"), 1);
  EXPECT_EQ(CountOperations(missing + " Password rejected"), 1);
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kDisconnected);
  EXPECT_EQ(IconOf(SingleItem(1)), TreeIcon::kDisconnected);
  EXPECT_TRUE(fleet.CommandsTo(missing).empty());

  testing::RecordingPages pages;
  CLinkSupervisor supervisor(*core, pages);
  for (int pass = 0; pass < 20; ++pass) supervisor.RunPass();
  EXPECT_EQ(wrongDisplay.Connections(), 1);
  EXPECT_EQ(missingDisplay.Connections(), 1);
  EXPECT_EQ(CountOperations("Password rejected"), 2);

  ASSERT_TRUE(SetPjlinkPassword(*core, wrongId, "right"));
  EXPECT_EQ(wrongDisplay.Connections(), 2);
  EXPECT_TRUE(Up(0));
  EXPECT_FALSE(Facts(wrongId).authFailed);
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kConnected);
  EXPECT_EQ(core->Transaction().SendCommandToDisplay(wrongId, query::kPower), "a 01 OK00x");
  EXPECT_EQ(wrongDisplay.Connections(), 2);
  EXPECT_EQ(CountOperations("Password rejected"), 2);
}

// ---- Idle sessions ----

// The display drops a session after 2 s of silence. With the console's limit below that the
// console closes first; with it above, the console finds the session closed by the display
// and opens another. Either way every read is answered on a session of its own, and the
// display is never taken for lost.
class PjlinkIdleTest : public testing::PjlinkFixture,
                       public ::testing::WithParamInterface<std::chrono::milliseconds> {};

TEST_P(PjlinkIdleTest, ReadsAfterTheDisplayDroppedTheSessionAreAnswered) {
  const std::string address = Loopback(22);
  sim::PjlinkDisplay& display = fleet.AddPjlink({.address = address, .idleCloseSeconds = 2});
  core->Link().SetPjlinkIdleLimit(GetParam());
  const DisplayId id = BuildOne(address);

  constexpr int kReads = 4;
  for (int read = 0; read < kReads; ++read) {
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(core->Transaction().SendCommandToDisplay(id, query::kPower), "a 01 OK00x")
        << "read " << read;
    EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kConnected) << "read " << read;
  }
  EXPECT_EQ(display.Connections(), 1 + kReads);
  EXPECT_EQ(CountOperations(std::string(kLinkLost)), 0);
  EXPECT_TRUE(mailer.Alarms().empty());
}

INSTANTIATE_TEST_SUITE_P(IdleLimits, PjlinkIdleTest, ::testing::Values(1000ms, 20000ms));

// ---- Busy displays ----

// In standby the display answers busy to all but power: no answer to use, but it is there.
TEST_F(PjlinkLinkTest, BusyAnswersInStandbyKeepTheLinkUp) {
  const std::string address = Loopback(23);
  fleet.AddPjlink({.address = address, .standbyErr3 = true});
  const DisplayId id = BuildOne(address);

  EXPECT_EQ(core->Transaction().SendCommandToDisplay(id, query::kInputSelect), std::nullopt);
  EXPECT_TRUE(Up(0));
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kConnected);
  EXPECT_EQ(CountOperations(std::string(kLinkLost)), 0);
  EXPECT_TRUE(mailer.Alarms().empty());
}

// A Power On while the display cools down is answered busy; supervision sends it again until
// the display takes it, and gives up with one line when it never does.
TEST_F(PjlinkLinkTest, APowerSetAnsweredBusyIsSentAgainUntilTaken) {
  const std::string address = Loopback(24);
  sim::PjlinkDisplay& display =
      fleet.AddPjlink({.address = address, .warmUpMs = 0, .coolDownMs = 600'000});
  const DisplayId id = BuildOne(address);
  display.SetPower(1);
  ASSERT_EQ(core->Transaction().SendCommandToDisplay(id, command::kPowerOff), "a 01 OK00x");
  const auto powerOnLines = [&] {
    const std::vector<std::string> lines = Operations();
    return std::count(lines.begin(), lines.end(), address + " Power On");
  };
  testing::RecordingPages pages;
  CLinkSupervisor supervisor(*core, pages);

  // Busy for good: sent again, then given up after its time.
  EXPECT_EQ(core->Transaction().SendCommandToDisplay(id, command::kPowerOn), std::nullopt);
  EXPECT_EQ(Facts(id).desiredPower, true);
  supervisor.RunPass();
  EXPECT_EQ(CountCommands(address, "%1POWR 1\r"), 2);
  core->Lock()->FactsOf(id)->pjlink.desiredSince -= kDesiredPowerFor;
  supervisor.RunPass();
  supervisor.RunPass();
  EXPECT_EQ(CountCommands(address, "%1POWR 1\r"), 2);
  EXPECT_EQ(CountOperations("Power On not accepted"), 1);
  EXPECT_EQ(Facts(id).desiredPower, std::nullopt);

  // Busy for a while: taken once cooled down.
  EXPECT_EQ(core->Transaction().SendCommandToDisplay(id, command::kPowerOn), std::nullopt);
  supervisor.RunPass();
  EXPECT_EQ(powerOnLines(), 0);
  display.SetPower(0);
  supervisor.RunPass();
  EXPECT_EQ(display.Power(), 1);
  EXPECT_EQ(Facts(id).desiredPower, std::nullopt);
  EXPECT_EQ(powerOnLines(), 1);
  supervisor.RunPass();
  EXPECT_EQ(CountCommands(address, "%1POWR 1\r"), 5);
  EXPECT_EQ(CountOperations("Power On not accepted"), 1);
  EXPECT_TRUE(Up(0));
  EXPECT_TRUE(mailer.Alarms().empty());
}

// ---- Deletion and close ----

// The operator deletes a PJLink display while a command for it waits its turn: the command is
// dropped, no session is opened for it, and the display that moves up into its row gets
// nothing either.
TEST_F(PjlinkLinkTest, ADisplayDeletedWhileItsCommandWaitsGetsNothing) {
  const std::string gone = Loopback(25), next = Loopback(26);
  sim::PjlinkDisplay& goneDisplay = *BuildPjlinkFleet({{.address = gone}, {.address = next}})[0];
  SelectItem(SingleItem(0));
  fleet.ClearLog();
  {
    testing::JobsHeld held(core->Jobs());
    ASSERT_TRUE(PostToTarget(*core, command::kPowerOn));
    EXPECT_EQ(CGroupEditor(*core).DeleteProjector(), "");
  }
  Settle();

  EXPECT_TRUE(fleet.Log().empty());
  EXPECT_EQ(goneDisplay.Connections(), 1);
  EXPECT_EQ(CountOperations("Power On"), 0);
}

// Closing the console while a silent display is still to greet ends the wait at once, and
// blames nobody.
TEST_F(PjlinkLinkTest, AStopMidGreetingEndsTheExchangeAtOnce) {
  const std::string address = Loopback(27);
  sim::PjlinkDisplay& display = fleet.AddPjlink({.address = address, .silent = true});
  sockets.receiveTimeoutMs = 5000;
  Configure({address});
  MakePjlink(0);
  std::thread build([&] { core->BuildTree(); });
  EXPECT_TRUE(Eventually([&] { return display.Connections() == 1; }));
  std::this_thread::sleep_for(200ms);  // into the greeting's wait

  const auto stopped = std::chrono::steady_clock::now();
  core->Stop();
  build.join();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1500ms);
  EXPECT_EQ(CountOperations(std::string(kLinkLost)), 0);
  EXPECT_TRUE(mailer.Alarms().empty());
}

// ---- Quirks of real displays ----

// Each display has one quirk; all are connected and greeted together, then each is checked.
TEST_F(PjlinkLinkTest, QuirksOfRealDisplays) {
  const auto powerAnswers = [this](DisplayId id, sim::PjlinkDisplay&) {
    EXPECT_EQ(core->Transaction().SendCommandToDisplay(id, query::kPower), "a 01 OK00x");
    EXPECT_EQ(Facts(id).linkClass, 1);
  };
  struct Quirk {
    std::string name;
    sim::PjlinkOptions options;
    std::function<void(DisplayId, sim::PjlinkDisplay&)> check;
  };
  const std::vector<Quirk> quirks = {
      {"lower case", {.address = Loopback(30), .lowerCase = true}, powerAnswers},
      {"leading NULs", {.address = Loopback(31), .leadingNuls = true}, powerAnswers},
      {"Class 1", {.address = Loopback(32), .classText = true}, powerAnswers},
      {"split replies", {.address = Loopback(33), .splitReplies = true}, powerAnswers},
      {"garbage",
       {.address = Loopback(34)},
       [this](DisplayId id, sim::PjlinkDisplay& display) {
         display.SetGarbage(true);
         EXPECT_EQ(core->Transaction().SendCommandToDisplay(id, query::kPower), std::nullopt);
         display.SetGarbage(false);
         EXPECT_EQ(core->Transaction().SendCommandToDisplay(id, query::kPower), "a 01 OK00x");
       }},
      {"no lamp",
       {.address = Loopback(35), .noLamp = true},
       [this](DisplayId id, sim::PjlinkDisplay&) {
         EXPECT_EQ(core->Transaction().SendCommandToDisplay(id, query::kLampTime1High),
                   std::nullopt);
         EXPECT_EQ(Facts(id).undefined, std::set<std::string>{"LAMP"});
         EXPECT_EQ(core->Transaction().SendCommandToDisplay(id, query::kPower), "a 01 OK00x");
       }},
      {"ERR4",
       {.address = Loopback(36)},
       [this](DisplayId id, sim::PjlinkDisplay& display) {
         display.SetErr4(true);
         EXPECT_EQ(core->Transaction().SendCommandToDisplay(id, query::kPower), std::nullopt);
         EXPECT_TRUE(Facts(id).warning);
         const int row = core->Lock()->RowOf(id);
         EXPECT_EQ(IconOf(SingleItem(row)), TreeIcon::kWarning);
         display.SetErr4(false);
         testing::RecordingPages pages;
         CLinkSupervisor(*core, pages).RunPass();
         EXPECT_EQ(CountCommands(display.Address(), "%1ERST ?\r"), 1);
       }},
  };
  std::vector<sim::PjlinkOptions> options;
  for (const Quirk& quirk : quirks) options.push_back(quirk.options);
  const std::vector<sim::PjlinkDisplay*> displays = BuildPjlinkFleet(options);

  for (size_t row = 0; row < quirks.size(); ++row) {
    SCOPED_TRACE(quirks[row].name);
    const DisplayId id = core->Lock()->IdAt(static_cast<int>(row));
    quirks[row].check(id, *displays[row]);
    EXPECT_TRUE(Up(static_cast<int>(row)));
  }
  EXPECT_EQ(CountOperations(std::string(kLinkLost)), 0);
}

}  // namespace
}  // namespace tarnex
