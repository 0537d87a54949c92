#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/schedule_entry.h"

namespace tarnex {

// What `tarnexctl schedule ...` asks of the folder's owner: a look at the entries, their next
// runs or the last runs; an edit, which only the owner writes; or the runs now due, for a
// machine where no window is open.
struct ScheduleCommand {
  enum class Kind { kList, kNext, kLog, kAdd, kRemove, kEnable, kDisable, kRunDue };
  Kind kind = Kind::kList;
  std::string name;     // remove, enable, disable
  ScheduleEntry entry;  // add
  bool operator==(const ScheduleCommand&) const = default;
};

std::string_view ScheduleKindName(ScheduleCommand::Kind kind);
std::optional<ScheduleCommand::Kind> ScheduleKindNamed(std::string_view name);

// "power on", "POWER OFF", "input hdmi1", "mute on", "message Doors open", "clear": the words
// of an action as a person types them, the stored form included.
std::optional<ScheduleAction> ActionFromWords(std::string_view words);

// The command's part of a request on the owner socket: {"command", "name", "target",
// "action", "when", "from", "to", "enforce", "enabled"}. Unknown fields and wrong types are
// refused; why, or empty.
std::string ReadScheduleCommand(const nlohmann::json& object, ScheduleCommand& command);
nlohmann::json ScheduleCommandJson(const ScheduleCommand& command);

// `tarnexctl schedule` and the words after it; why they are refused, or empty.
std::string ScheduleCommandFromWords(const std::vector<std::string>& words,
                                     ScheduleCommand& command);

// One entry as `schedule list` and `schedule next` show it.
struct ScheduleRow {
  std::string name;
  std::string state;  // on, off, gone, unreadable
  std::string target;
  std::string action;
  std::string when;
  std::string valid;  // "FROM..TO", empty for always
  std::string next;   // "YYYY-MM-DD HH:MM", empty for none
  std::string problem;
};

}  // namespace tarnex
