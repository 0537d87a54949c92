#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scripting/schedule_runner.h"

namespace tarnex {

// Beside the configuration files: the last runs, member by member, for the Schedule dialog
// and `tarnexctl schedule log`, whoever ran them (the console or a direct tarnexctl run).
inline constexpr const char* kScheduleLogFile = "ScheduleLog.json";

std::string ScheduleLogToJson(const std::vector<ScheduleRunRecord>& records);
// The file is untrusted: a wrong field ends the reading (none).
std::optional<std::vector<ScheduleRunRecord>> ScheduleLogFromJson(std::string_view text);
// Missing or unreadable: no runs. At most 4 MiB is read.
std::vector<ScheduleRunRecord> ReadScheduleLog(const std::string& path);
// One atomic replacement.
bool WriteScheduleLog(const std::string& path, const std::vector<ScheduleRunRecord>& records);

}  // namespace tarnex
