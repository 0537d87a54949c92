#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "config/schedule_entry.h"
#include "console/console_core.h"

namespace tarnex {

// Why the entry cannot be kept, or empty: a name that is empty, too long, not printable or
// already another entry's; a target of no known kind; an action without its input or text; a
// weekly entry without days; valid-from after valid-to. `replacing` is the entry it replaces.
std::string ScheduleEntryProblem(const ScheduleEntry& entry, const ScheduleTable& table,
                                 std::optional<size_t> replacing = std::nullopt);

// The edits of the schedules, shared by the Schedule dialog and tarnexctl. Each is one step
// under the console lock on the document's table (written at the close, like every other
// edit). Each returns why it was refused, empty when done.
std::string AddScheduleEntry(CConsoleCore& core, const ScheduleEntry& entry);
std::string ReplaceScheduleEntry(CConsoleCore& core, const std::string& name,
                                 const ScheduleEntry& entry);
std::string RemoveScheduleEntry(CConsoleCore& core, const std::string& name);
// An entry whose group was deleted stays disabled until its target is changed.
std::string EnableScheduleEntry(CConsoleCore& core, const std::string& name, bool enabled);
std::string SetScheduleExclusions(CConsoleCore& core, std::vector<LocalDate> dates);

// One run to come, for the agenda.
struct AgendaItem {
  std::time_t at;
  size_t entry;
};
// Every run of the table in (from, to], in time order then entry order; at most `limit`.
std::vector<AgendaItem> ScheduleAgenda(const ScheduleTable& table, std::time_t from, std::time_t to,
                                       size_t limit = 2000);

// "2026-12-11 07:30", local time.
std::string ScheduleTimeText(std::time_t when);

}  // namespace tarnex
