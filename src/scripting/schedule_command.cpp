#include "scripting/schedule_command.h"

#include <algorithm>

#include "scripting/schedule_edit.h"
#include "scripting/schedule_log.h"
#include "scripting/schedule_runner.h"

namespace tarnex {
namespace {

using Kind = ScheduleCommand::Kind;

std::string StateOf(const ScheduleEntry& entry) {
  if (!entry.unreadable.empty()) return "unreadable";
  if (entry.targetGone) return "gone";
  return entry.enabled ? "on" : "off";
}

std::vector<ScheduleRow> Rows(const ScheduleTable& table, std::time_t now, bool comingOnly) {
  const ScheduleBook book(table);
  std::vector<std::pair<std::time_t, ScheduleRow>> rows;
  for (size_t i = 0; i < table.entries.size(); ++i) {
    const ScheduleEntry& entry = table.entries[i];
    const auto next = book.NextRun(i, now);
    if (comingOnly && !next) continue;
    ScheduleRow row{entry.name,
                    StateOf(entry),
                    entry.target,
                    ActionText(entry.action),
                    WhenText(entry.when),
                    "",
                    next ? ScheduleTimeText(*next) : "",
                    entry.unreadable};
    if (entry.validFrom || entry.validTo) {
      row.valid = (entry.validFrom ? DateText(*entry.validFrom) : "") + ".." +
                  (entry.validTo ? DateText(*entry.validTo) : "");
    }
    rows.emplace_back(next.value_or(0), std::move(row));
  }
  if (comingOnly) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  std::vector<ScheduleRow> out;
  for (auto& [next, row] : rows) out.push_back(std::move(row));
  return out;
}

void Refuse(ScriptReport& report, int exit, const char* code, const std::string& why) {
  report.exit = exit;
  report.errorCode = code;
  report.errorMessage = why;
}

std::string Edit(CConsoleCore& core, const ScheduleCommand& command) {
  switch (command.kind) {
    case Kind::kAdd:
      return AddScheduleEntry(core, command.entry);
    case Kind::kRemove:
      return RemoveScheduleEntry(core, command.name);
    case Kind::kEnable:
    case Kind::kDisable:
      return EnableScheduleEntry(core, command.name, command.kind == Kind::kEnable);
    default:
      return {};
  }
}

void RunEdit(CConsoleCore& core, const ScheduleCommand& command,
             const ScheduleCommandContext& context, ScriptReport& report) {
  const std::string problem = Edit(core, command);
  if (problem.starts_with("no schedule entry"))
    return Refuse(report, script_exit::kNotFound, "not_found", problem);
  if (!problem.empty()) return Refuse(report, script_exit::kUsage, "usage", problem);
  if (context.persist && !context.persist())
    return Refuse(report, script_exit::kInternal, "internal", "the configuration was not written");
  if (context.keeper != nullptr) context.keeper->Wake();
  const ScheduleTable table = core.Lock()->Doc().m_docSchedules;
  const std::string name = command.kind == Kind::kAdd ? command.entry.name : command.name;
  for (ScheduleRow& row : Rows(table, context.clock(), false)) {
    if (row.name == name) report.schedule.push_back(std::move(row));
  }
}

}  // namespace

void RunScheduleCommand(CConsoleCore& core, const ScheduleCommand& command,
                        const ScheduleCommandContext& context, ScriptReport& report) {
  const ScheduleClock clock = context.clock ? context.clock : SystemScheduleClock();
  switch (command.kind) {
    case Kind::kList:
    case Kind::kNext:
      report.schedule =
          Rows(core.Lock()->Doc().m_docSchedules, clock(), command.kind == Kind::kNext);
      return;
    case Kind::kLog:
      report.runs =
          context.keeper != nullptr ? context.keeper->Log() : ReadScheduleLog(context.logPath);
      return;
    case Kind::kRunDue:
      // The console runs them itself; asked, it evaluates at once, which never runs one twice.
      if (context.keeper != nullptr) report.runs = context.keeper->RunDue(context.runDueAtStart);
      return;
    default: {
      ScheduleCommandContext withClock = context;
      withClock.clock = clock;
      return RunEdit(core, command, withClock, report);
    }
  }
}

}  // namespace tarnex
