#include "scripting/schedule_edit.h"

#include <algorithm>

#include "monitor/schedule_book.h"

namespace tarnex {
namespace {

constexpr size_t kMaxNameChars = 64;
constexpr size_t kMaxTargetChars = 256;

bool Printable(const std::string& text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

bool KnownTarget(const std::string& target) {
  for (const char* kind : {"group:", "display:", "set:"}) {
    if (target.starts_with(kind) && target.size() > std::string_view(kind).size()) return true;
  }
  return false;
}

std::optional<size_t> Find(const ScheduleTable& table, const std::string& name) {
  for (size_t i = 0; i < table.entries.size(); ++i) {
    if (table.entries[i].name == name) return i;
  }
  return std::nullopt;
}

std::string NoSuchEntry(const std::string& name) {
  return "no schedule entry \"" + name + "\"";
}

}  // namespace

std::string ScheduleEntryProblem(const ScheduleEntry& entry, const ScheduleTable& table,
                                 std::optional<size_t> replacing) {
  if (entry.name.empty() || entry.name.size() > kMaxNameChars || !Printable(entry.name))
    return "a name is 1 to 64 printable characters";
  const auto same = Find(table, entry.name);
  if (same && same != replacing) return "an entry \"" + entry.name + "\" exists already";
  if (!KnownTarget(entry.target) || entry.target.size() > kMaxTargetChars ||
      !Printable(entry.target))
    return "a target is group:NAME, display:ADDRESS or set:N";
  if (!ActionFromText(ActionText(entry.action))) return "the action lacks its input or its text";
  if (entry.when.minuteOfDay < 0 || entry.when.minuteOfDay >= 24 * 60)
    return "the time is 00:00 to 23:59";
  if (!entry.when.date && entry.when.days == 0) return "a weekly entry needs at least one day";
  if (entry.validFrom && entry.validTo && *entry.validTo < *entry.validFrom)
    return "valid-from is after valid-to";
  return {};
}

std::string AddScheduleEntry(CConsoleCore& core, const ScheduleEntry& entry) {
  auto state = core.Lock();
  ScheduleTable& table = state->Doc().m_docSchedules;
  if (table.entries.size() >= kMaxScheduleEntries) return "the table holds 500 entries already";
  if (std::string problem = ScheduleEntryProblem(entry, table); !problem.empty()) return problem;
  table.entries.push_back(entry);
  table.entries.back().targetGone = false;
  table.entries.back().unreadable.clear();
  table.entries.back().stored.clear();
  return {};
}

std::string ReplaceScheduleEntry(CConsoleCore& core, const std::string& name,
                                 const ScheduleEntry& entry) {
  auto state = core.Lock();
  ScheduleTable& table = state->Doc().m_docSchedules;
  const auto at = Find(table, name);
  if (!at) return NoSuchEntry(name);
  if (std::string problem = ScheduleEntryProblem(entry, table, at); !problem.empty())
    return problem;
  ScheduleEntry& kept = table.entries[*at];
  // A changed target is a new choice of the operator's: it is no longer the deleted group's.
  const bool gone = kept.targetGone && kept.target == entry.target;
  kept = entry;
  kept.targetGone = gone;
  if (gone) kept.enabled = false;
  kept.unreadable.clear();
  kept.stored.clear();
  return {};
}

std::string RemoveScheduleEntry(CConsoleCore& core, const std::string& name) {
  auto state = core.Lock();
  ScheduleTable& table = state->Doc().m_docSchedules;
  const auto at = Find(table, name);
  if (!at) return NoSuchEntry(name);
  table.entries.erase(table.entries.begin() + static_cast<long>(*at));
  return {};
}

std::string EnableScheduleEntry(CConsoleCore& core, const std::string& name, bool enabled) {
  auto state = core.Lock();
  ScheduleTable& table = state->Doc().m_docSchedules;
  const auto at = Find(table, name);
  if (!at) return NoSuchEntry(name);
  ScheduleEntry& entry = table.entries[*at];
  if (enabled && entry.targetGone)
    return "the group of \"" + name + "\" was deleted: choose another target first";
  if (enabled && !entry.unreadable.empty()) return "\"" + name + "\" could not be read";
  entry.enabled = enabled;
  return {};
}

std::string SetScheduleExclusions(CConsoleCore& core, std::vector<LocalDate> dates) {
  std::sort(dates.begin(), dates.end());
  dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
  if (dates.size() > kMaxScheduleExclusions) return "at most 400 exclusion dates";
  core.Lock()->Doc().m_docSchedules.exclusions = std::move(dates);
  return {};
}

std::vector<AgendaItem> ScheduleAgenda(const ScheduleTable& table, std::time_t from, std::time_t to,
                                       size_t limit) {
  std::vector<AgendaItem> items;
  const ScheduleBook book(table);
  for (size_t i = 0; i < table.entries.size(); ++i) {
    for (std::time_t at : book.Between(i, from, to, limit)) items.push_back({at, i});
  }
  std::sort(items.begin(), items.end(), [](const AgendaItem& a, const AgendaItem& b) {
    return a.at != b.at ? a.at < b.at : a.entry < b.entry;
  });
  if (items.size() > limit) items.resize(limit);
  return items;
}

std::string ScheduleTimeText(std::time_t when) {
  tm local{};
  localtime_r(&when, &local);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

}  // namespace tarnex
