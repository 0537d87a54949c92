#include "monitor/schedule_book.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <set>
#include <string_view>

#include "platform/atomic_file.h"

namespace tarnex {
namespace {

// How far NextRun looks for a weekly entry, and how far back the latest of many missed
// occurrences is searched: two years and a day or two.
constexpr long kScheduleLookDays = 732;
// Between never walks more days than this, whatever the window: a clock set decades ahead
// must not stall the tick.
constexpr long kScheduleSpanDays = 366L * 50;
// A daylight-saving change skips at most a few hours; past this nothing round-trips and the
// zone is treated as broken.
constexpr int kScheduleSkipScanMinutes = 180;
// Missed occurrences counted per entry and evaluation: more are reported as this many.
constexpr size_t kMissedCountLimit = 1000;
// Due occurrences per entry in one lateness window: an entry runs at most once a day.
constexpr size_t kDuePerEntryLimit = 4;

constexpr size_t kStateMaxBytes = 64 * 1024;
constexpr size_t kStateMaxRuns = 500;
constexpr size_t kStateMaxNameBytes = 256;
constexpr std::string_view kStateHeader = "tarnex-schedule-state 1";

// Day numbers (days since 1970-01-01, proleptic Gregorian) make date steps and weekdays plain
// arithmetic, without mktime's normalisation and its time-zone side effects.
long ScheduleDayNumber(const LocalDate& date) {
  const long y = date.month <= 2 ? date.year - 1L : date.year;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yearOfEra = y - era * 400;
  const long monthFromMarch = (date.month + 9) % 12;
  const long dayOfYear = (153 * monthFromMarch + 2) / 5 + date.day - 1;
  const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

LocalDate ScheduleDateOfDay(long dayNumber) {
  const long z = dayNumber + 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long dayOfEra = z - era * 146097;
  const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long monthFromMarch = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day};
}

// Bit 0 Monday ... bit 6 Sunday; day 0 (1970-01-01) was a Thursday.
int ScheduleWeekday(long dayNumber) {
  return static_cast<int>(((dayNumber % 7) + 7 + 3) % 7);
}

bool IsCalendarDay(const LocalDate& date) {
  if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31) return false;
  return ScheduleDateOfDay(ScheduleDayNumber(date)) == date;
}

// The epoch second of a local wall minute, when that minute exists: of two (the minute a
// fall-back repeats), the earlier.
std::optional<std::time_t> ExistingLocalMinute(const LocalDate& date, int minuteOfDay) {
  std::optional<std::time_t> earliest;
  for (const int isDst : {0, 1}) {
    std::tm parts{};
    parts.tm_year = date.year - 1900;
    parts.tm_mon = date.month - 1;
    parts.tm_mday = date.day;
    parts.tm_hour = minuteOfDay / 60;
    parts.tm_min = minuteOfDay % 60;
    parts.tm_isdst = isDst;
    const std::time_t candidate = std::mktime(&parts);
    std::tm back{};
    // mktime moves a minute given with the wrong offset to another wall minute; only a
    // candidate that reads back as the same minute is that minute.
    if (candidate == static_cast<std::time_t>(-1) || localtime_r(&candidate, &back) == nullptr) {
      continue;
    }
    const bool same = back.tm_year == parts.tm_year && back.tm_mon == date.month - 1 &&
                      back.tm_mday == date.day && back.tm_hour == minuteOfDay / 60 &&
                      back.tm_min == minuteOfDay % 60;
    if (same && (!earliest || candidate < *earliest)) earliest = candidate;
  }
  return earliest;
}

bool IsRunnable(const ScheduleEntry& entry) {
  if (!entry.enabled || entry.targetGone || !entry.unreadable.empty()) return false;
  if (entry.when.minuteOfDay < 0 || entry.when.minuteOfDay >= 24 * 60) return false;
  if (entry.when.date) return IsCalendarDay(*entry.when.date);
  return (entry.when.days & 0x7f) != 0;
}

// The entry's occurrence on the local day, if it runs that day.
std::optional<std::time_t> OccurrenceOn(const ScheduleEntry& entry, const ScheduleTable& table,
                                        long dayNumber) {
  const LocalDate date = ScheduleDateOfDay(dayNumber);
  if (entry.when.date) {
    if (*entry.when.date != date) return std::nullopt;
  } else if ((entry.when.days & (1u << ScheduleWeekday(dayNumber))) == 0) {
    return std::nullopt;
  }
  if (entry.validFrom && date < *entry.validFrom) return std::nullopt;
  if (entry.validTo && date > *entry.validTo) return std::nullopt;
  if (std::find(table.exclusions.begin(), table.exclusions.end(), date) != table.exclusions.end()) {
    return std::nullopt;
  }
  return LocalMinute(date, entry.when.minuteOfDay);
}

// The days that can hold an occurrence in (from, to]. One day early: a minute skipped just
// before midnight runs on the next day, so the day before `from` can still run after it.
struct DaySpan {
  long first;
  long last;
};
DaySpan OccurrenceDays(const ScheduleEntry& entry, std::time_t from, std::time_t to) {
  DaySpan span{ScheduleDayNumber(LocalDateOf(from)) - 1, ScheduleDayNumber(LocalDateOf(to))};
  if (entry.when.date) {
    const long day = ScheduleDayNumber(*entry.when.date);
    span = {std::max(span.first, day), std::min(span.last, day)};
  }
  if (entry.validFrom) span.first = std::max(span.first, ScheduleDayNumber(*entry.validFrom));
  if (entry.validTo) span.last = std::min(span.last, ScheduleDayNumber(*entry.validTo));
  return span;
}

// The latest occurrence in (from, to], searched backwards over at most kScheduleLookDays.
std::optional<std::time_t> LatestOccurrence(const ScheduleEntry& entry, const ScheduleTable& table,
                                            std::time_t from, std::time_t to) {
  const DaySpan span = OccurrenceDays(entry, from, to);
  const long stop = std::max(span.first, span.last - kScheduleLookDays);
  for (long day = span.last; day >= stop; --day) {
    const std::optional<std::time_t> at = OccurrenceOn(entry, table, day);
    if (at && *at > from && *at <= to) return at;
  }
  return std::nullopt;
}

bool IsStateAction(ScheduleActionKind kind) {
  return kind == ScheduleActionKind::kPowerOn || kind == ScheduleActionKind::kPowerOff ||
         kind == ScheduleActionKind::kInput;
}

// Of two runs for one target in one minute: a date entry (a deliberate exception) beats a
// weekly one, then the earlier entry.
bool RunBeats(const ScheduleTable& table, size_t a, size_t b) {
  const bool aDate = table.entries[a].when.date.has_value();
  const bool bDate = table.entries[b].when.date.has_value();
  if (aDate != bDate) return aDate;
  return a < b;
}

void ResolveConflicts(const ScheduleTable& table, ScheduleEvaluation& out) {
  std::vector<DueRun> kept;
  for (const DueRun& run : out.due) {
    size_t winner = run.entry;
    for (const DueRun& other : out.due) {
      if (other.at == run.at &&
          table.entries[other.entry].target == table.entries[run.entry].target &&
          RunBeats(table, other.entry, winner)) {
        winner = other.entry;
      }
    }
    if (winner == run.entry) {
      kept.push_back(run);
    } else {
      out.lost.push_back({run.entry, winner, run.at});
    }
  }
  out.due = std::move(kept);
}

bool IsStateName(std::string_view name) {
  if (name.empty() || name.size() > kStateMaxNameBytes) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

std::optional<std::time_t> StateEpoch(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return static_cast<std::time_t>(value);
}

// At most `maxBytes` of a regular file; none when it is missing, not a plain file or larger.
std::optional<std::string> ReadStateBytes(const std::string& path, size_t maxBytes) {
  // Non-blocking, so that a FIFO put at the path cannot hang the tick.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    std::string buffer(maxBytes + 1, '\0');
    size_t used = 0;
    bool failed = false;
    // Each pass reads at least a byte or ends; EINTR retries are counted too.
    for (int pass = 0; pass < 1000 && used < buffer.size(); ++pass) {
      const ssize_t got = ::read(fd, buffer.data() + used, buffer.size() - used);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) failed = true;
      if (got <= 0) break;
      used += static_cast<size_t>(got);
    }
    if (!failed && used <= maxBytes) bytes = buffer.substr(0, used);
  }
  ::close(fd);
  return bytes;
}

std::optional<ScheduleState> ParseScheduleState(std::string_view text) {
  if (text.empty() || text.back() != '\n') return std::nullopt;
  ScheduleState state;
  size_t lineNumber = 0;
  // Each pass consumes a line; the header, the evaluation and kStateMaxRuns runs at most.
  while (!text.empty()) {
    if (lineNumber >= kStateMaxRuns + 2) return std::nullopt;
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (lineNumber == 0) {
      if (line != kStateHeader) return std::nullopt;
    } else if (lineNumber == 1) {
      if (!line.starts_with("evaluated ")) return std::nullopt;
      const auto at = StateEpoch(line.substr(10));
      if (!at) return std::nullopt;
      state.lastEvaluation = *at;
    } else {
      if (!line.starts_with("ran ")) return std::nullopt;
      const std::string_view rest = line.substr(4);
      const size_t space = rest.find(' ');
      if (space == std::string_view::npos) return std::nullopt;
      const auto at = StateEpoch(rest.substr(0, space));
      const std::string_view name = rest.substr(space + 1);
      if (!at || !IsStateName(name)) return std::nullopt;
      if (!state.lastRun.emplace(std::string(name), *at).second) return std::nullopt;
    }
    ++lineNumber;
  }
  if (lineNumber < 2) return std::nullopt;
  return state;
}

}  // namespace

ScheduleClock SystemScheduleClock() {
  return [] { return std::time(nullptr); };
}

std::time_t LocalMinute(const LocalDate& date, int minuteOfDay) {
  minuteOfDay = std::clamp(minuteOfDay, 0, 24 * 60 - 1);
  if (const auto at = ExistingLocalMinute(date, minuteOfDay)) return *at;
  // A minute the clock skips (spring forward): the first minute after it that exists, which
  // is the instant of the change. The skip may cross midnight in some zones.
  const long day = ScheduleDayNumber(date);
  for (int step = 1; step <= kScheduleSkipScanMinutes; ++step) {
    const int minute = minuteOfDay + step;
    const LocalDate scanned = ScheduleDateOfDay(day + minute / (24 * 60));
    if (const auto at = ExistingLocalMinute(scanned, minute % (24 * 60))) return *at;
  }
  // Nothing round-trips: a zone this code does not understand. mktime's own guess.
  std::tm parts{};
  parts.tm_year = date.year - 1900;
  parts.tm_mon = date.month - 1;
  parts.tm_mday = date.day;
  parts.tm_hour = minuteOfDay / 60;
  parts.tm_min = minuteOfDay % 60;
  parts.tm_isdst = -1;
  return std::mktime(&parts);
}

LocalDate LocalDateOf(std::time_t when) {
  std::tm parts{};
  if (localtime_r(&when, &parts) == nullptr) return {1970, 1, 1};
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

std::optional<std::time_t> ScheduleBook::NextRun(size_t entry, std::time_t after) const {
  if (entry >= m_table.entries.size() || !IsRunnable(m_table.entries[entry])) return std::nullopt;
  const ScheduleEntry& e = m_table.entries[entry];
  if (e.when.date) {
    // One occurrence, however far ahead.
    const auto at = OccurrenceOn(e, m_table, ScheduleDayNumber(*e.when.date));
    if (at && *at > after) return at;
    return std::nullopt;
  }
  DaySpan span{ScheduleDayNumber(LocalDateOf(after)) - 1, 0};
  if (e.validFrom) span.first = std::max(span.first, ScheduleDayNumber(*e.validFrom));
  span.last = span.first + kScheduleLookDays;
  if (e.validTo) span.last = std::min(span.last, ScheduleDayNumber(*e.validTo));
  for (long day = span.first; day <= span.last; ++day) {
    const auto at = OccurrenceOn(e, m_table, day);
    if (at && *at > after) return at;
  }
  return std::nullopt;
}

std::vector<std::time_t> ScheduleBook::Between(size_t entry, std::time_t from, std::time_t to,
                                               size_t limit) const {
  std::vector<std::time_t> found;
  if (entry >= m_table.entries.size() || !IsRunnable(m_table.entries[entry]) || to <= from) {
    return found;
  }
  const ScheduleEntry& e = m_table.entries[entry];
  const DaySpan span = OccurrenceDays(e, from, to);
  const long last = std::min(span.last, span.first + kScheduleSpanDays);
  for (long day = span.first; day <= last && found.size() < limit; ++day) {
    const auto at = OccurrenceOn(e, m_table, day);
    if (at && *at > from && *at <= to) found.push_back(*at);
  }
  return found;
}

ScheduleEvaluation ScheduleBook::Evaluate(std::time_t now, const ScheduleState& state,
                                          bool atStart) const {
  ScheduleEvaluation out;
  // The clock went back: nothing in this step. What already ran keeps its last run, so once
  // the clock moves on again an occurrence that ran is not run twice.
  if (now < state.lastEvaluation) return out;
  // At or before this second an occurrence is missed; after it, it is due.
  const std::time_t lateEdge = now - kScheduleLateness - 1;
  for (size_t i = 0; i < m_table.entries.size(); ++i) {
    const ScheduleEntry& entry = m_table.entries[i];
    if (!IsRunnable(entry)) continue;
    const auto ran = state.lastRun.find(entry.name);
    std::time_t since = state.lastEvaluation;
    if (ran != state.lastRun.end()) {
      since = std::max(since, ran->second);
    } else if (state.lastEvaluation == 0) {
      // A book that never ran: the past before it is not missed, only the lateness window.
      since = lateEdge;
    }
    std::optional<MissedRuns> missed;
    if (since < lateEdge) {
      // Counts above kMissedCountLimit are capped; the latest is then searched for itself.
      const auto old = Between(i, since, lateEdge, kMissedCountLimit);
      if (!old.empty()) {
        const std::time_t last =
            old.size() < kMissedCountLimit
                ? old.back()
                : LatestOccurrence(entry, m_table, since, lateEdge).value_or(old.back());
        missed = MissedRuns{i, static_cast<int>(old.size()), old.front(), last};
        out.missed.push_back(*missed);
      }
    }
    const auto due = Between(i, std::max(since, lateEdge), now, kDuePerEntryLimit);
    for (const std::time_t at : due) out.due.push_back({i, at, false});
    // Enforcing restores the state the latest missed occurrence set; a due occurrence of the
    // same entry is newer and sets it anyway.
    if (atStart && entry.enforceAtStart && IsStateAction(entry.action.kind) && missed &&
        due.empty()) {
      out.due.push_back({i, missed->last, true});
    }
  }
  std::sort(out.due.begin(), out.due.end(), [](const DueRun& a, const DueRun& b) {
    return a.at != b.at ? a.at < b.at : a.entry < b.entry;
  });
  ResolveConflicts(m_table, out);
  return out;
}

void ScheduleBook::Record(ScheduleState& state, const ScheduleTable& table,
                          const std::vector<DueRun>& ran, std::time_t now) {
  for (const DueRun& run : ran) {
    if (run.entry >= table.entries.size()) continue;
    const auto [slot, added] = state.lastRun.emplace(table.entries[run.entry].name, run.at);
    if (!added) slot->second = std::max(slot->second, run.at);
  }
  // `now` even after a backward step: a clock that was set far ahead by mistake must not
  // silence the book until that time comes round again. The last runs keep what ran from
  // running twice.
  state.lastEvaluation = now;
  std::set<std::string_view> names;
  for (const ScheduleEntry& entry : table.entries) names.insert(entry.name);
  std::erase_if(state.lastRun, [&](const auto& item) { return !names.contains(item.first); });
}

std::optional<ScheduleState> ReadScheduleState(const std::string& path) {
  const std::optional<std::string> bytes = ReadStateBytes(path, kStateMaxBytes);
  if (!bytes) return std::nullopt;
  return ParseScheduleState(*bytes);
}

bool WriteScheduleState(const std::string& path, const ScheduleState& state) {
  // Only a state the reader takes back is written: anything else would lose every last run.
  if (state.lastRun.size() > kStateMaxRuns || state.lastEvaluation < 0) return false;
  std::string text(kStateHeader);
  text += "\nevaluated " + std::to_string(state.lastEvaluation) + "\n";
  for (const auto& [name, at] : state.lastRun) {
    if (!IsStateName(name) || at < 0) return false;
    text += "ran " + std::to_string(at) + " " + name + "\n";
  }
  if (text.size() > kStateMaxBytes) return false;
  return WriteFileAtomically(path, text);
}

}  // namespace tarnex
