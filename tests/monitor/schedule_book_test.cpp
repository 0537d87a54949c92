// The schedule book in Berlin time: next runs across both daylight-saving edges, due and
// missed runs around a moving clock, conflicts, and the state file.
#include "monitor/schedule_book.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/scratch_folder.h"
#include "support/local_zone.h"

namespace tarnex {
namespace {

using testing::UtcSeconds;

constexpr std::uint8_t kMon = 1, kTue = 2, kWed = 4, kSun = 64, kEveryDay = 0x7f;
constexpr std::time_t kDay = 24 * 3600;

ScheduleEntry Weekly(std::string name, std::uint8_t days, int hour, int minute,
                     ScheduleActionKind kind = ScheduleActionKind::kPowerOff,
                     std::string target = "group:Lobby") {
  ScheduleEntry entry;
  entry.name = std::move(name);
  entry.target = std::move(target);
  entry.action.kind = kind;
  entry.when.minuteOfDay = hour * 60 + minute;
  entry.when.days = days;
  return entry;
}

ScheduleTable Table(std::vector<ScheduleEntry> entries, std::vector<LocalDate> exclusions = {}) {
  return {std::move(entries), std::move(exclusions)};
}

// A book evaluated at `when`, with nothing run yet.
ScheduleState EvaluatedAt(std::time_t when) {
  return {{}, when};
}

ScheduleEntry OnDate(std::string name, LocalDate date, int hour, int minute,
                     ScheduleActionKind kind = ScheduleActionKind::kPowerOn) {
  ScheduleEntry entry = Weekly(std::move(name), 0, hour, minute, kind);
  entry.when.date = date;
  return entry;
}

using Runs = std::vector<std::tuple<size_t, std::time_t, bool>>;
Runs DueOf(const ScheduleEvaluation& evaluation) {
  Runs runs;
  for (const DueRun& run : evaluation.due) runs.emplace_back(run.entry, run.at, run.enforced);
  return runs;
}
using Misses = std::vector<std::tuple<size_t, int, std::time_t, std::time_t>>;
Misses MissedOf(const ScheduleEvaluation& evaluation) {
  Misses misses;
  for (const MissedRuns& m : evaluation.missed)
    misses.emplace_back(m.entry, m.count, m.first, m.last);
  return misses;
}
using Losses = std::vector<std::tuple<size_t, size_t, std::time_t>>;
Losses LostOf(const ScheduleEvaluation& evaluation) {
  Losses losses;
  for (const LostConflict& l : evaluation.lost) losses.emplace_back(l.loser, l.winner, l.at);
  return losses;
}

class ScheduleBookTest : public ::testing::Test {
 protected:
  testing::LocalZone zone{"Europe/Berlin"};
};

struct NextCase {
  const char* what;
  ScheduleEntry entry;
  std::time_t after;
  std::optional<std::time_t> expected;
};

ScheduleEntry With(ScheduleEntry entry, void (*change)(ScheduleEntry&)) {
  change(entry);
  return entry;
}

// Berlin is UTC+1 in winter (CET) and UTC+2 in summer (CEST); expectations are in UTC.
TEST_F(ScheduleBookTest, NextRunFollowsDaysDatesBoundsAndDaylightSaving) {
  const ScheduleEntry monWed = Weekly("Mon Wed", kMon | kWed, 7, 30);
  const ScheduleEntry nightly = Weekly("Nightly", kEveryDay, 2, 30);
  const ScheduleEntry gala = OnDate("Gala", {2026, 6, 1}, 9, 0);
  const std::time_t tuesdayNoon = UtcSeconds(2026, 3, 3, 11, 0);
  const std::vector<NextCase> cases = {
      {"a Tuesday: Wednesday", monWed, tuesdayNoon, UtcSeconds(2026, 3, 4, 6, 30)},
      {"at Wednesday's run: Monday", monWed, UtcSeconds(2026, 3, 4, 6, 30),
       UtcSeconds(2026, 3, 9, 6, 30)},
      {"a date", gala, tuesdayNoon, UtcSeconds(2026, 6, 1, 7, 0)},
      {"a passed date", gala, UtcSeconds(2026, 6, 1, 7, 0), std::nullopt},
      {"valid from",
       With(monWed,
            [](ScheduleEntry& e) {
              e.validFrom = {{2026, 3, 16}};
            }),
       tuesdayNoon, UtcSeconds(2026, 3, 16, 6, 30)},
      {"valid to",
       With(monWed,
            [](ScheduleEntry& e) {
              e.validTo = {{2026, 3, 3}};
            }),
       tuesdayNoon, std::nullopt},
      {"spring forward: the change", nightly, UtcSeconds(2026, 3, 28, 23, 0),
       UtcSeconds(2026, 3, 29, 1, 0)},
      {"after spring forward", nightly, UtcSeconds(2026, 3, 29, 1, 0),
       UtcSeconds(2026, 3, 30, 0, 30)},
      {"fall back: summer time", nightly, UtcSeconds(2026, 10, 24, 22, 0),
       UtcSeconds(2026, 10, 25, 0, 30)},
      {"fall back: once", nightly, UtcSeconds(2026, 10, 25, 0, 30),
       UtcSeconds(2026, 10, 26, 1, 30)},
      {"fall back weekly: next week", Weekly("Sundays", kSun, 2, 30),
       UtcSeconds(2026, 10, 25, 0, 30), UtcSeconds(2026, 11, 1, 1, 30)},
      {"29 February", OnDate("Leap", {2028, 2, 29}, 8, 0), tuesdayNoon,
       UtcSeconds(2028, 2, 29, 7, 0)},
      {"29 February weekly", Weekly("Tuesdays", kTue, 8, 0), UtcSeconds(2028, 2, 28, 12, 0),
       UtcSeconds(2028, 2, 29, 7, 0)},
      {"disabled", With(monWed, [](ScheduleEntry& e) { e.enabled = false; }), tuesdayNoon,
       std::nullopt},
      {"gone", With(monWed, [](ScheduleEntry& e) { e.targetGone = true; }), tuesdayNoon,
       std::nullopt},
      {"unreadable", With(monWed, [](ScheduleEntry& e) { e.unreadable = "bad time"; }), tuesdayNoon,
       std::nullopt},
  };
  for (const NextCase& c : cases) {
    const ScheduleTable table = Table({c.entry});
    EXPECT_EQ(ScheduleBook(table).NextRun(0, c.after), c.expected) << c.what;
  }
  // A holiday is skipped, by every entry.
  const ScheduleTable holiday = Table({monWed}, {{2026, 3, 4}});
  EXPECT_EQ(ScheduleBook(holiday).NextRun(0, tuesdayNoon), UtcSeconds(2026, 3, 9, 6, 30));
}

TEST_F(ScheduleBookTest, BetweenHasTheRepeatedMinuteOnce) {
  const ScheduleTable table = Table({Weekly("Nightly", kEveryDay, 2, 30)});
  EXPECT_EQ(
      ScheduleBook(table).Between(0, UtcSeconds(2026, 10, 24, 0, 0),
                                  UtcSeconds(2026, 10, 27, 0, 0)),
      (std::vector<std::time_t>{UtcSeconds(2026, 10, 24, 0, 30), UtcSeconds(2026, 10, 25, 0, 30),
                                UtcSeconds(2026, 10, 26, 1, 30)}));
}

// 07:30 CEST on 2 June 2026.
const std::time_t kMorning = UtcSeconds(2026, 6, 2, 5, 30);

TEST_F(ScheduleBookTest, RunsUpToTwoMinutesLateThenMisses) {
  const ScheduleTable table = Table({Weekly("Morning", kEveryDay, 7, 30)});
  const ScheduleBook book(table);
  const ScheduleState ticking = EvaluatedAt(kMorning - 60);

  EXPECT_EQ(DueOf(book.Evaluate(kMorning + 120, ticking, false)), (Runs{{0, kMorning, false}}));
  const ScheduleEvaluation late = book.Evaluate(kMorning + 121, ticking, false);
  EXPECT_TRUE(late.due.empty());
  EXPECT_EQ(MissedOf(late), (Misses{{0, 1, kMorning, kMorning}}));

  const ScheduleEvaluation days = book.Evaluate(kMorning + 2 * kDay + 600, ticking, false);
  EXPECT_TRUE(days.due.empty());
  EXPECT_EQ(MissedOf(days), (Misses{{0, 3, kMorning, kMorning + 2 * kDay}}));

  // A book that never ran misses nothing from before it.
  EXPECT_EQ(DueOf(book.Evaluate(kMorning + 60, {}, false)), (Runs{{0, kMorning, false}}));
  const ScheduleEvaluation fresh = book.Evaluate(kMorning + 600, {}, true);
  EXPECT_TRUE(fresh.due.empty());
  EXPECT_TRUE(fresh.missed.empty());
}

TEST_F(ScheduleBookTest, ABackwardClockStepRunsNothingTwice) {
  const ScheduleTable table = Table({Weekly("Morning", kEveryDay, 7, 30)});
  const ScheduleBook book(table);
  ScheduleState state = EvaluatedAt(kMorning - 30);
  const ScheduleEvaluation first = book.Evaluate(kMorning + 30, state, false);
  ASSERT_EQ(DueOf(first), (Runs{{0, kMorning, false}}));
  ScheduleBook::Record(state, table, first.due, kMorning + 30);

  const std::time_t back = kMorning + 30 - 3600;
  const ScheduleEvaluation stepped = book.Evaluate(back, state, false);
  EXPECT_TRUE(stepped.due.empty());
  EXPECT_TRUE(stepped.missed.empty());
  ScheduleBook::Record(state, table, stepped.due, back);

  EXPECT_TRUE(book.Evaluate(kMorning + 60, state, false).due.empty());
  EXPECT_EQ(DueOf(book.Evaluate(kMorning + kDay + 10, state, false)),
            (Runs{{0, kMorning + kDay, false}}));
}

TEST_F(ScheduleBookTest, EnforceAtStartRunsTheLatestMissedPowerRunOnce) {
  ScheduleEntry power = Weekly("Lamps on", kEveryDay, 7, 30, ScheduleActionKind::kPowerOn);
  ScheduleEntry message =
      Weekly("Welcome", kEveryDay, 7, 30, ScheduleActionKind::kMessage, "group:Hall");
  power.enforceAtStart = message.enforceAtStart = true;
  const ScheduleTable table = Table({power, message});
  const ScheduleBook book(table);
  ScheduleState state = EvaluatedAt(kMorning - 60);
  const std::time_t now = kMorning + kDay + 3600;

  const ScheduleEvaluation start = book.Evaluate(now, state, true);
  EXPECT_EQ(DueOf(start), (Runs{{0, kMorning + kDay, true}}));
  EXPECT_EQ(MissedOf(start),
            (Misses{{0, 2, kMorning, kMorning + kDay}, {1, 2, kMorning, kMorning + kDay}}));
  EXPECT_TRUE(book.Evaluate(now, state, false).due.empty());

  ScheduleBook::Record(state, table, start.due, now);
  EXPECT_TRUE(book.Evaluate(now + 60, state, true).due.empty());
}

TEST_F(ScheduleBookTest, ADateEntryThenTheEarlierEntryWinsAMinute) {
  const ScheduleTable table = Table({
      Weekly("Weekly off", kEveryDay, 18, 0),
      OnDate("Gala on", {2026, 6, 2}, 18, 0),
      Weekly("Also off", kEveryDay, 18, 0),
      Weekly("Hall off", kEveryDay, 18, 0, ScheduleActionKind::kPowerOff, "group:Hall"),
  });
  const ScheduleBook book(table);
  const std::time_t evening = UtcSeconds(2026, 6, 2, 16, 0);

  const ScheduleEvaluation gala = book.Evaluate(evening + 10, EvaluatedAt(evening - 60), false);
  EXPECT_EQ(DueOf(gala), (Runs{{1, evening, false}, {3, evening, false}}));
  EXPECT_EQ(LostOf(gala), (Losses{{0, 1, evening}, {2, 1, evening}}));

  const std::time_t next = evening + kDay;
  const ScheduleEvaluation plain = book.Evaluate(next + 10, EvaluatedAt(next - 60), false);
  EXPECT_EQ(DueOf(plain), (Runs{{0, next, false}, {3, next, false}}));
  EXPECT_EQ(LostOf(plain), (Losses{{2, 0, next}}));
}

TEST_F(ScheduleBookTest, RecordKeepsTheLatestRunOfEntriesStillThere) {
  const ScheduleTable table = Table({Weekly("Morning", kEveryDay, 7, 30)});
  ScheduleState state{{{"Morning", kMorning + kDay}, {"Removed", kMorning}}, 0};
  ScheduleBook::Record(state, table, {{0, kMorning, false}}, kMorning + 60);
  EXPECT_EQ(state, (ScheduleState{{{"Morning", kMorning + kDay}}, kMorning + 60}));
}

TEST(ScheduleStateFile, RoundTripsAndRefusesAnythingMalformed) {
  const testing::ScratchFolder folder;
  const std::string path = folder.File("schedule-state");
  EXPECT_EQ(ReadScheduleState(path), std::nullopt);
  const ScheduleState state{{{"Lobby morning on", 1780000000}, {"b", 5}}, 1780000100};
  ASSERT_TRUE(WriteScheduleState(path, state));
  EXPECT_EQ(ReadScheduleState(path), state);
  EXPECT_FALSE(WriteScheduleState(path, {{{"tab\there", 5}}, 6}));
  EXPECT_EQ(ReadScheduleState(path), state);

  const std::string head = "tarnex-schedule-state 1\nevaluated 100\n";
  std::string tooMany = head;
  for (int i = 0; i <= 500; ++i) tooMany += "ran 1 entry " + std::to_string(i) + "\n";
  const std::vector<std::string> corrupt = {
      "",
      "tarnex-schedule-state 2\nevaluated 100\n",
      "tarnex-schedule-state 1\n",
      "tarnex-schedule-state 1\nevaluated 1x\n",
      head + "ran 5 cut short",
      head + "ran 5\n",
      head + "ran -5 negative\n",
      head + "ran 5 a\rb\n",
      head + "ran 5 twice\nran 6 twice\n",
      head + "ran 99999999999999999999 huge\n",
      head + "ran 1 " + std::string(64 * 1024, 'x') + "\n",
      tooMany,
  };
  for (const std::string& bytes : corrupt) {
    testing::WriteBytes(path, bytes);
    EXPECT_EQ(ReadScheduleState(path), std::nullopt) << bytes.substr(0, 80);
  }
}

TEST(ScheduleTargets, ARenameFollowsTheGroupAndADeleteDisablesItsEntries) {
  ScheduleTable table = Table({Weekly("a", kMon, 7, 0), Weekly("b", kMon, 7, 0),
                               Weekly("c", kMon, 7, 0), Weekly("d", kMon, 7, 0)});
  table.entries[1].target = "group:Lobby 2";
  table.entries[2].target = "display:10.0.0.7";
  RenameScheduleTargets(table, "Lobby", "Foyer");
  ASSERT_EQ(table.entries.size(), 4u);
  EXPECT_EQ(table.entries[0].target, "group:Foyer");
  EXPECT_EQ(table.entries[1].target, "group:Lobby 2");
  EXPECT_EQ(table.entries[2].target, "display:10.0.0.7");
  EXPECT_EQ(table.entries[3].target, "group:Foyer");

  MarkScheduleTargetsGone(table, "Foyer");
  for (size_t i = 0; i < table.entries.size(); ++i) {
    const bool gone = i == 0 || i == 3;
    EXPECT_EQ(table.entries[i].targetGone, gone) << i;
    EXPECT_EQ(table.entries[i].enabled, !gone) << i;
  }
}

}  // namespace
}  // namespace tarnex
