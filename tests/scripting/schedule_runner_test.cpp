#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <ctime>

#include "console/group_editor.h"
#include "scripting/schedule_runner.h"
#include "support/console_fixture.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;

// 2026-12-14, a Monday, 07:30 in the process's zone.
std::time_t MondayAt0730() {
  tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 11;
  local.tm_mday = 14;
  local.tm_hour = 7;
  local.tm_min = 30;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

class ScheduleRunnerTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ConsoleFixture::SetUp();
    for (int i = 1; i <= 3; ++i) {
      hall.push_back(Loopback(i));
      fleet.Add({.address = hall.back()});
    }
    Configure(hall, {{"Hall", {"[1]" + hall[0], "[2]" + hall[1], "[3]" + hall[2]}}});
    core->BuildTree();
    ScheduleEntry evening;
    evening.name = "Evening";
    evening.target = "group:Hall";
    evening.action.kind = ScheduleActionKind::kPowerOff;
    evening.when = {.minuteOfDay = 7 * 60 + 30, .days = 0x7f, .date = std::nullopt};
    core->Lock()->Doc().m_docSchedules.entries = {evening};
  }

  ScheduleKeeper::Options Options() {
    return {.clock = [this] { return now; },
            .statePath = folder + "ScheduleState.txt",
            .logPath = folder + "ScheduleLog.json",
            .tellMissed = [this](const std::string& text) { told.push_back(text); },
            .run = {.retryPause = std::chrono::milliseconds(10)}};
  }
  size_t Sent(const std::string& address, const std::string& command) {
    const auto sent = fleet.CommandsTo(address);
    return static_cast<size_t>(std::count(sent.begin(), sent.end(), command));
  }
  size_t Lines(const std::string& ending) {
    const auto lines = Operations();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
      return line.find(ending) != std::string::npos;
    }));
  }

  std::vector<std::string> hall;
  std::time_t now = MondayAt0730() - 300;
  std::vector<std::string> told;
};

// At its minute an entry sends once to each member, with the window's member lines and one
// line naming it; a later look in the same minute sends nothing more, nor does a new keeper
// (a restart) that reads what the first one recorded.
TEST_F(ScheduleRunnerTest, ADueEntryRunsOnceForEachMemberAndIsNamedInTheHistory) {
  {
    ScheduleKeeper keeper(*core, Options());
    EXPECT_TRUE(keeper.RunDue(true).empty());
    now = MondayAt0730() + 5;
    const auto runs = keeper.RunDue(false);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].results.size(), 3u);
    EXPECT_EQ(runs[0].exit, 0);
    now += 30;
    EXPECT_TRUE(keeper.RunDue(false).empty());
  }
  ScheduleKeeper restarted(*core, Options());
  EXPECT_TRUE(restarted.RunDue(true).empty());
  ASSERT_EQ(restarted.Log().size(), 1u);  // the log outlives the keeper
  // Power goes twice to each member, as a group send sends it.
  for (const std::string& address : hall) EXPECT_EQ(Sent(address, "ka 01 00\n"), 2u) << address;
  EXPECT_EQ(Lines(" Power Off"), 3u) << History();
  EXPECT_EQ(Lines("Schedule Evening: POWER OFF group:Hall: 3 of 3 done"), 1u) << History();
  EXPECT_TRUE(told.empty());
}

// Entries of one minute with one action go out together, yet each keeps its own members, and
// one whose target names nothing is refused alone.
TEST_F(ScheduleRunnerTest, EntriesOfOneMinuteRunTogetherEachWithItsOwnMembers) {
  {
    auto state = core->Lock();
    ScheduleTable& table = state->Doc().m_docSchedules;
    ScheduleEntry lobby = table.entries[0];
    lobby.name = "Lobby";
    lobby.target = "display:" + hall[0];
    ScheduleEntry lost = lobby;
    lost.name = "Lost";
    lost.target = "group:Nowhere";
    table.entries.push_back(lost);
    table.entries.push_back(lobby);
  }
  ScheduleKeeper keeper(*core, Options());
  keeper.RunDue(true);
  now = MondayAt0730() + 5;
  const auto runs = keeper.RunDue(false);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].entry, "Evening");
  EXPECT_EQ(runs[0].results.size(), 3u);
  EXPECT_EQ(runs[1].exit, 10);
  EXPECT_TRUE(runs[1].results.empty());
  ASSERT_EQ(runs[2].results.size(), 1u);
  EXPECT_EQ(runs[2].results[0].key, hall[0]);
  EXPECT_EQ(Sent(hall[0], "ka 01 00\n"), 4u);  // twice for each entry naming it
  EXPECT_EQ(Sent(hall[1], "ka 01 00\n"), 2u);
}

// A member that does not answer is tried again three times within the window, then
// reported; the others are sent to once.
TEST_F(ScheduleRunnerTest, AFailingMemberIsRetriedThreeTimesThenReported) {
  core->Lock()->Doc().m_docSchedules.entries[0].action.kind = ScheduleActionKind::kMuteOn;
  fleet.Find(hall[1])->SetSilent(true);
  ScheduleKeeper keeper(*core, Options());
  keeper.RunDue(true);
  now = MondayAt0730() + 5;
  const auto runs = keeper.RunDue(false);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].tries, 4);
  EXPECT_EQ(runs[0].exit, 4);
  EXPECT_FALSE(runs[0].results[1].ok);
  EXPECT_EQ(Sent(hall[0], "kd 01 01\n"), 1u);
  EXPECT_EQ(Sent(hall[2], "kd 01 01\n"), 1u);
  // One alarm mail for the run, naming the entry and the member that failed.
  std::vector<std::string> mails;
  for (const std::string& alarm : mailer.Alarms()) {
    if (alarm.starts_with("4 ")) mails.push_back(alarm);
  }
  EXPECT_EQ(mails, std::vector<std::string>{"4 Evening: 1 of 3 displays failed: " + hall[1]});
  // A member found down is not sent to again until it reconnects; never more than the tries.
  EXPECT_LE(Sent(hall[1], "kd 01 01\n"), 4u);
}

// Runs the console was not there for are reported once, in the history and in one message,
// and nothing is sent for them.
TEST_F(ScheduleRunnerTest, AMissedRunIsReportedOnceAndNotSent) {
  ScheduleState earlier;
  earlier.lastEvaluation = MondayAt0730() - 2 * 24 * 3600 - 60;
  ASSERT_TRUE(WriteScheduleState(folder + "ScheduleState.txt", earlier));
  now = MondayAt0730() + 3600;
  ScheduleKeeper keeper(*core, Options());
  EXPECT_TRUE(keeper.RunDue(true).empty());
  EXPECT_TRUE(keeper.RunDue(false).empty());
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("Evening: 3 missed runs"), std::string::npos) << told[0];
  EXPECT_EQ(Lines("Schedule Evening: 3 missed runs"), 1u);
  for (const std::string& address : hall) EXPECT_EQ(Sent(address, "ka 01 00\n"), 0u);
}

// A deleted group takes its entries out of service, and a new group of the same name does
// not inherit them.
TEST_F(ScheduleRunnerTest, ADeletedGroupsEntryNeverRunsForANamesake) {
  SelectItem(Tree().GroupItem(0));
  CGroupEditor editor(*core);
  editor.DeleteGroup();
  editor.MakeGroup("Hall");
  {
    const ScheduleEntry entry = core->Lock()->Doc().m_docSchedules.entries.at(0);
    EXPECT_TRUE(entry.targetGone);
    EXPECT_FALSE(entry.enabled);
  }
  ScheduleKeeper keeper(*core, Options());
  keeper.RunDue(true);
  now = MondayAt0730() + 5;
  EXPECT_TRUE(keeper.RunDue(false).empty());
}

}  // namespace
}  // namespace tarnex
