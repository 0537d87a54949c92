#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "config/schedule_entry.h"

namespace tarnex {

// The wall clock, injected so that tests (and a test hook of the console) can move it.
using ScheduleClock = std::function<std::time_t()>;
ScheduleClock SystemScheduleClock();

// What has run: the last occurrence each entry ran (by entry name), and when the book was
// last evaluated. Kept in a small file of its own, written atomically after every run, so
// that a backward clock step, a crash or a restart never runs an occurrence twice.
struct ScheduleState {
  std::map<std::string, std::time_t> lastRun;
  std::time_t lastEvaluation = 0;  // 0: never
  bool operator==(const ScheduleState&) const = default;
};
// Unreadable, missing or malformed: none. The reader is bounded (64 KiB, 500 entries).
std::optional<ScheduleState> ReadScheduleState(const std::string& path);
// One atomic replacement; false when it could not be written (the file is then unchanged).
bool WriteScheduleState(const std::string& path, const ScheduleState& state);

// The epoch second at which the local minute `minuteOfDay` of `date` happens, with the rules
// for daylight-saving changes: a minute the change skips runs at the first valid minute after
// it; a minute that happens twice runs at its first occurrence only. Local time is the
// process's (TZ), through localtime_r/mktime.
std::time_t LocalMinute(const LocalDate& date, int minuteOfDay);
LocalDate LocalDateOf(std::time_t when);

// An occurrence runs up to this late (load, a short suspend); later it is missed.
inline constexpr std::time_t kScheduleLateness = 120;

struct DueRun {
  size_t entry;    // index into the table's entries
  std::time_t at;  // the occurrence
  bool enforced;   // the latest missed occurrence, run at start for "enforce at start"
};
struct MissedRuns {
  size_t entry;
  int count;
  std::time_t first;
  std::time_t last;
};
// Two entries for one target in one minute: only the winner runs (a date entry beats a weekly
// one, then the earlier entry).
struct LostConflict {
  size_t loser;
  size_t winner;
  std::time_t at;
};
struct ScheduleEvaluation {
  std::vector<DueRun> due;  // in time order, then entry order
  std::vector<MissedRuns> missed;
  std::vector<LostConflict> lost;
};

// Computes due runs from the entries of a table. Occurrences are evaluated since the last
// evaluation (not "is it HH:MM now"), so a minute is never skipped by a slow tick and never
// run twice; enabled entries only, never an unreadable or gone one; valid-from/to and the
// exclusion dates apply.
class ScheduleBook {
 public:
  explicit ScheduleBook(const ScheduleTable& table) : m_table(table) {}

  // The first occurrence of the entry strictly after `after`; none when there is no more
  // (a passed date, past valid-to, disabled, gone, unreadable). Looks at most ~2 years ahead.
  std::optional<std::time_t> NextRun(size_t entry, std::time_t after) const;
  // Occurrences of the entry in (from, to], oldest first, at most `limit`.
  std::vector<std::time_t> Between(size_t entry, std::time_t from, std::time_t to,
                                   size_t limit = 10000) const;

  // What is due at `now` given `state`: occurrences after both the entry's last run and the
  // last evaluation, up to now; those older than kScheduleLateness are missed rather than
  // due. `atStart` is the first evaluation after a start: an enforced entry's latest missed
  // occurrence is then due once (power and input actions only). A clock that went back
  // (now before the last evaluation) yields nothing due.
  ScheduleEvaluation Evaluate(std::time_t now, const ScheduleState& state, bool atStart) const;

  // Marks the runs as done in `state`, and the evaluation as made at `now`.
  static void Record(ScheduleState& state, const ScheduleTable& table,
                     const std::vector<DueRun>& ran, std::time_t now);

 private:
  const ScheduleTable& m_table;
};

}  // namespace tarnex
