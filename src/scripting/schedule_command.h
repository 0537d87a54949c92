#pragma once

#include <functional>
#include <string>

#include "console/console_core.h"
#include "monitor/schedule_book.h"
#include "scripting/schedule_request.h"
#include "scripting/script_report.h"

namespace tarnex {

class ScheduleKeeper;

// Who answers a schedule command: the console's keeper, or what a direct tarnexctl run made
// for the command's length. Only the folder's owner edits the table.
struct ScheduleCommandContext {
  ScheduleKeeper* keeper = nullptr;
  ScheduleClock clock{};
  // A direct run writes the table after an edit (the console writes it at its close).
  std::function<bool()> persist{};
  // Where the last runs are kept, read when there is no keeper to ask.
  std::string logPath{};
  // run-due in a run of its own: the runs missed since the last one are reported.
  bool runDueAtStart = false;
};

// Lists, edits or runs the schedules of the core's document; the answer goes to `report`
// (entries, runs, or a run-wide error: 2 for a refused edit, 10 for an entry not found).
void RunScheduleCommand(CConsoleCore& core, const ScheduleCommand& command,
                        const ScheduleCommandContext& context, ScriptReport& report);

}  // namespace tarnex
