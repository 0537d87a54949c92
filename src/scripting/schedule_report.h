#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scripting/script_report.h"

namespace tarnex {

// The schedules' part of a report: "schedule" (the entries) and "runs" (the runs, member by
// member). `always` writes both lists even when empty, as the document of a schedule command
// does.
void AddScheduleJson(nlohmann::json& out, const ScriptReport& report, bool always);
// False when a list is there but unreadable.
bool ReadScheduleJson(const nlohmann::json& in, ScriptReport& report);
// A line per entry or per run, and a line per member of a run that failed.
std::string ScheduleText(const ScriptReport& report);

nlohmann::json ScheduleRunJson(const ScheduleRunRecord& record);
// Throws nlohmann::json::exception, or std::invalid_argument for a result it cannot read.
ScheduleRunRecord ScheduleRunFrom(const nlohmann::json& item);

}  // namespace tarnex
