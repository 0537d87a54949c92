// The schedule book in Berlin time (UTC+1, summer UTC+2; expectations in UTC): next runs
// across both daylight-saving edges, due and missed runs around a moving clock, the state file.
#include "monitor/schedule_book.h"
#include "config/schedule_targets.h"

#include <gtest/gtest.h>

#include "platform/scratch_folder.h"
#include "support/local_zone.h"

namespace tarnex {
namespace {

using Kind = ScheduleActionKind;
constexpr auto U = testing::UtcSeconds;
constexpr std::time_t kDay = 24 * 3600;
constexpr std::uint8_t kEveryDay = 0x7f;

ScheduleEntry Entry(std::uint8_t days, int hour, int minute, Kind kind = Kind::kPowerOff,
                    std::string target = "group:Lobby") {
  ScheduleEntry entry;
  static int serial = 0;
  entry.name = "entry " + std::to_string(++serial);
  entry.target = std::move(target);
  entry.action.kind = kind;
  entry.when.minuteOfDay = hour * 60 + minute;
  entry.when.days = days;
  return entry;
}
ScheduleEntry OnDate(LocalDate date, int hour, int minute) {
  ScheduleEntry entry = Entry(0, hour, minute, Kind::kPowerOn);
  entry.when.date = date;
  return entry;
}

// An evaluation on one line, times from `base`: "due 0@60! missed 0x3@0..60 lost 2>1@0".
std::string Brief(const ScheduleEvaluation& e, std::time_t base) {
  auto at = [base](std::time_t t) { return std::to_string(t - base); };
  std::string text = "due";
  for (const DueRun& r : e.due) {
    text += " " + std::to_string(r.entry) + "@" + at(r.at) + (r.enforced ? "!" : "");
  }
  text += " missed";
  for (const MissedRuns& m : e.missed) {
    text += " " + std::to_string(m.entry) + "x" + std::to_string(m.count) + "@" + at(m.first);
    text += ".." + at(m.last);
  }
  text += " lost";
  for (const LostConflict& l : e.lost) {
    text += " " + std::to_string(l.loser) + ">" + std::to_string(l.winner) + "@" + at(l.at);
  }
  return text;
}

class ScheduleBookTest : public ::testing::Test {
 protected:
  testing::LocalZone zone{"Europe/Berlin"};
};

TEST_F(ScheduleBookTest, NextRunFollowsDaysDatesBoundsAndDaylightSaving) {
  const ScheduleEntry monWed = Entry(1 | 4, 7, 30), nightly = Entry(kEveryDay, 2, 30);
  const ScheduleEntry gala = OnDate({2026, 6, 1}, 9, 0);
  const std::time_t tuesday = U(2026, 3, 3, 11, 0);
  ScheduleEntry from = monWed, to = monWed, off = monWed, gone = monWed, bad = monWed;
  from.validFrom = {{2026, 3, 16}}, to.validTo = {{2026, 3, 3}}, off.enabled = false;
  gone.targetGone = true, bad.unreadable = "bad";
  const struct {
    const char* what;
    ScheduleEntry entry;
    std::time_t after;
    std::optional<std::time_t> next;
  } cases[] = {
      {"Tuesday: Wednesday", monWed, tuesday, U(2026, 3, 4, 6, 30)},
      {"Wednesday: Monday", monWed, U(2026, 3, 4, 6, 30), U(2026, 3, 9, 6, 30)},
      {"a date", gala, tuesday, U(2026, 6, 1, 7, 0)},
      {"a passed date", gala, U(2026, 6, 1, 7, 0), std::nullopt},
      {"valid from", from, tuesday, U(2026, 3, 16, 6, 30)},
      {"valid to", to, tuesday, {}},
      {"skipped minute", nightly, U(2026, 3, 28, 23, 0), U(2026, 3, 29, 1, 0)},
      {"after the skip", nightly, U(2026, 3, 29, 1, 0), U(2026, 3, 30, 0, 30)},
      {"repeated minute", nightly, U(2026, 10, 24, 22, 0), U(2026, 10, 25, 0, 30)},
      {"repeated once", nightly, U(2026, 10, 25, 0, 30), U(2026, 10, 26, 1, 30)},
      {"repeated weekly", Entry(64, 2, 30), U(2026, 10, 25, 0, 30), U(2026, 11, 1, 1, 30)},
      {"29 February", OnDate({2028, 2, 29}, 8, 0), tuesday, U(2028, 2, 29, 7, 0)},
      {"disabled", off, tuesday, {}},
      {"gone", gone, tuesday, {}},
      {"unreadable", bad, tuesday, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScheduleBook(ScheduleTable{{c.entry}, {}}).NextRun(0, c.after), c.next) << c.what;
  }
  const ScheduleTable holiday{{monWed}, {{2026, 3, 4}}};
  EXPECT_EQ(ScheduleBook(holiday).NextRun(0, tuesday), U(2026, 3, 9, 6, 30));
  const ScheduleTable nights{{nightly}, {}};
  EXPECT_EQ(ScheduleBook(nights).Between(0, U(2026, 10, 24, 0, 0), U(2026, 10, 27, 0, 0)),
            (std::vector{U(2026, 10, 24, 0, 30), U(2026, 10, 25, 0, 30), U(2026, 10, 26, 1, 30)}));
}

const std::time_t kMorning = U(2026, 6, 2, 5, 30);  // 07:30 in summer
const ScheduleState kTicking{{}, kMorning - 60};

TEST_F(ScheduleBookTest, RunsUpToTwoMinutesLateThenMisses) {
  const ScheduleTable table{{Entry(kEveryDay, 7, 30)}, {}};
  const ScheduleBook book(table);
  EXPECT_EQ(Brief(book.Evaluate(kMorning + 120, kTicking, false), kMorning), "due 0@0 missed lost");
  EXPECT_EQ(Brief(book.Evaluate(kMorning + 121, kTicking, false), kMorning),
            "due missed 0x1@0..0 lost");
  EXPECT_EQ(Brief(book.Evaluate(kMorning + 2 * kDay + 600, kTicking, false), kMorning),
            "due missed 0x3@0..172800 lost");
  // Capped count, true latest: four years later.
  EXPECT_EQ(Brief(book.Evaluate(U(2030, 6, 2, 5, 40), kTicking, false), kMorning),
            "due missed 0x1000@0.." + std::to_string(U(2030, 6, 2, 5, 30) - kMorning) + " lost");
  // A book that never ran misses nothing from before it.
  EXPECT_EQ(Brief(book.Evaluate(kMorning + 60, {}, false), kMorning), "due 0@0 missed lost");
  EXPECT_EQ(Brief(book.Evaluate(kMorning + 600, {}, true), kMorning), "due missed lost");
}

TEST_F(ScheduleBookTest, ABackwardClockStepRunsNothingTwice) {
  const ScheduleTable table{{Entry(kEveryDay, 7, 30)}, {}};
  const ScheduleBook book(table);
  ScheduleState state{{{"removed since", kMorning}}, kMorning - 30};
  const ScheduleEvaluation first = book.Evaluate(kMorning + 30, state, false);
  ScheduleBook::Record(state, table, first.due, kMorning + 30);
  EXPECT_EQ(state, (ScheduleState{{{table.entries[0].name, kMorning}}, kMorning + 30}));

  EXPECT_EQ(Brief(book.Evaluate(kMorning - 3600, state, false), kMorning), "due missed lost");
  // An older run recorded late does not move the last run back.
  ScheduleBook::Record(state, table, {{0, kMorning - kDay, false}}, kMorning - 3600);
  EXPECT_EQ(Brief(book.Evaluate(kMorning + 60, state, false), kMorning), "due missed lost");
  EXPECT_EQ(Brief(book.Evaluate(kMorning + kDay, state, false), kMorning),
            "due 0@86400 missed lost");
}

TEST_F(ScheduleBookTest, EnforceAtStartRunsTheLatestMissedPowerRunOnce) {
  ScheduleTable table{{Entry(kEveryDay, 7, 30, Kind::kPowerOn),
                       Entry(kEveryDay, 7, 30, Kind::kMessage, "group:Hall")},
                      {}};
  table.entries[0].enforceAtStart = table.entries[1].enforceAtStart = true;
  const ScheduleBook book(table);
  ScheduleState state = kTicking;
  const std::time_t now = kMorning + kDay + 3600;
  const ScheduleEvaluation start = book.Evaluate(now, state, true);
  EXPECT_EQ(Brief(start, kMorning), "due 0@86400! missed 0x2@0..86400 1x2@0..86400 lost");
  EXPECT_TRUE(book.Evaluate(now, state, false).due.empty());
  ScheduleBook::Record(state, table, start.due, now);
  EXPECT_TRUE(book.Evaluate(now + 60, state, true).due.empty());
}

TEST_F(ScheduleBookTest, ADateEntryThenTheEarlierEntryWinsAMinute) {
  const ScheduleTable table{{Entry(kEveryDay, 18, 0), OnDate({2026, 6, 2}, 18, 0),
                             Entry(kEveryDay, 18, 0), Entry(kEveryDay, 17, 59, {}, "group:Hall")},
                            {}};
  const ScheduleBook book(table);
  const std::time_t gala = U(2026, 6, 2, 16, 0), next = gala + kDay;
  EXPECT_EQ(Brief(book.Evaluate(gala, {{}, gala - 120}, false), gala),
            "due 3@-60 1@0 missed lost 0>1@0 2>1@0");
  EXPECT_EQ(Brief(book.Evaluate(next, {{}, next - 120}, false), next),
            "due 3@-60 0@0 missed lost 2>0@0");
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
  std::vector<std::string> corrupt = {"", "tarnex-schedule-state 2\nevaluated 1\n",
                                      head.substr(0, 24), tooMany,
                                      head + "ran 1 " + std::string(64 * 1024, 'x') + "\n"};
  for (const char* tail : {"ran 5 cut", "ran 5\n", "ran -5 a\n", "ran 5 a\rb\n",
                           "ran 5 a\nran 6 a\n", "ran 99999999999999999999 a\n"}) {
    corrupt.push_back(head + tail);
  }
  for (const std::string& bytes : corrupt) {
    testing::WriteBytes(path, bytes);
    EXPECT_EQ(ReadScheduleState(path), std::nullopt) << bytes.substr(0, 60);
  }
}

TEST(ScheduleTargets, ARenameFollowsTheGroupAndADeleteDisablesItsEntries) {
  ScheduleTable table{{Entry(1, 7, 0), Entry(1, 7, 0, {}, "group:Lobby 2"),
                       Entry(1, 7, 0, {}, "display:10.0.0.7"), Entry(1, 8, 0)},
                      {}};
  RenameScheduleTargets(table, "Lobby", "Foyer");
  MarkScheduleTargetsGone(table, "Foyer");
  std::string seen;
  for (const ScheduleEntry& e : table.entries) seen += e.target + (e.enabled ? "," : " off,");
  EXPECT_EQ(seen, "group:Foyer off,group:Lobby 2,display:10.0.0.7,group:Foyer off,");
  EXPECT_TRUE(table.entries[0].targetGone && table.entries[3].targetGone);
  EXPECT_FALSE(table.entries[1].targetGone);
}

}  // namespace
}  // namespace tarnex
