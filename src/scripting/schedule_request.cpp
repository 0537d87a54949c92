#include "scripting/schedule_request.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <nlohmann/json.hpp>
#include <utility>

namespace tarnex {
namespace {

using nlohmann::json;
using Kind = ScheduleCommand::Kind;

constexpr std::array<std::pair<Kind, std::string_view>, 8> kKinds = {{
    {Kind::kList, "list"},
    {Kind::kNext, "next"},
    {Kind::kLog, "log"},
    {Kind::kAdd, "add"},
    {Kind::kRemove, "remove"},
    {Kind::kEnable, "enable"},
    {Kind::kDisable, "disable"},
    {Kind::kRunDue, "run-due"},
}};
constexpr std::array<std::string_view, 9> kFields = {"command", "name", "target",  "action", "when",
                                                     "from",    "to",   "enforce", "enabled"};

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

bool NamesAnEntry(Kind kind) {
  return kind == Kind::kRemove || kind == Kind::kEnable || kind == Kind::kDisable;
}

std::string ReadDate(const json& object, const char* field, std::optional<LocalDate>& date) {
  const auto found = object.find(field);
  if (found == object.end()) return {};
  if (!found->is_string()) return std::string("\"") + field + "\" must be a date";
  date = DateFromText(found->get<std::string>());
  return date ? std::string() : std::string("\"") + field + "\" is no date (YYYY-MM-DD)";
}

std::string ReadEntry(const json& object, ScheduleEntry& entry) {
  const auto text = [&](const char* field) {
    const auto found = object.find(field);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
  };
  entry.name = text("name");
  entry.target = text("target");
  const auto action = ActionFromText(text("action"));
  if (!action) return "the action is none a schedule knows";
  entry.action = *action;
  const auto when = WhenFromText(text("when"));
  if (!when) return "\"when\" is \"WEEKLY HH:MM days\" or \"DATE YYYY-MM-DD HH:MM\"";
  entry.when = *when;
  if (std::string error = ReadDate(object, "from", entry.validFrom); !error.empty()) return error;
  if (std::string error = ReadDate(object, "to", entry.validTo); !error.empty()) return error;
  entry.enforceAtStart = object.value("enforce", false);
  entry.enabled = object.value("enabled", true);
  return {};
}

// "--at 07:30 --days mon,fri" or "--on 2026-12-24 [--at 18:00]".
std::string ReadWhen(const std::string& at, const std::string& days, const std::string& on,
                     ScheduleWhen& when) {
  const auto minute = MinuteFromText(at.empty() ? "00:00" : at);
  if (!minute) return "--at takes HH:MM, not \"" + at + "\"";
  when.minuteOfDay = *minute;
  if (!on.empty() && !days.empty()) return "--on and --days exclude each other";
  if (!on.empty()) {
    when.date = DateFromText(on);
    return when.date ? std::string() : "--on takes YYYY-MM-DD, not \"" + on + "\"";
  }
  if (at.empty()) return "a weekly entry needs --at HH:MM";
  const auto read = DaysFromText(days);
  if (!read) return "--days takes mon,tue,... (each day once), not \"" + days + "\"";
  when.days = *read;
  return {};
}

std::string ReadAddWords(const std::vector<std::string>& words, size_t next, ScheduleEntry& entry) {
  std::string at, days, on, from, to, action;
  for (; next < words.size(); ++next) {
    const std::string& word = words[next];
    if (word == "--enforce") {
      entry.enforceAtStart = true;
      continue;
    }
    if (word == "--disabled") {
      entry.enabled = false;
      continue;
    }
    std::string* value = word == "--target"   ? &entry.target
                         : word == "--action" ? &action
                         : word == "--at"     ? &at
                         : word == "--days"   ? &days
                         : word == "--on"     ? &on
                         : word == "--from"   ? &from
                         : word == "--to"     ? &to
                                              : nullptr;
    if (value == nullptr) return "schedule add does not take \"" + word + "\"";
    if (next + 1 >= words.size()) return word + " needs a value";
    *value = words[++next];
  }
  const auto read = ActionFromWords(action);
  if (!read) return "--action takes power on|off, input NAME, mute on|off, message TEXT or clear";
  entry.action = *read;
  if (std::string error = ReadWhen(at, days, on, entry.when); !error.empty()) return error;
  if (!from.empty() && !(entry.validFrom = DateFromText(from))) return "--from takes YYYY-MM-DD";
  if (!to.empty() && !(entry.validTo = DateFromText(to))) return "--to takes YYYY-MM-DD";
  return {};
}

}  // namespace

std::string_view ScheduleKindName(Kind kind) {
  for (const auto& [known, name] : kKinds) {
    if (known == kind) return name;
  }
  return {};
}

std::optional<Kind> ScheduleKindNamed(std::string_view name) {
  for (const auto& [kind, known] : kKinds) {
    if (known == name) return kind;
  }
  return std::nullopt;
}

std::optional<ScheduleAction> ActionFromWords(std::string_view words) {
  const size_t blank = words.find(' ');
  const std::string keyword = Upper(words.substr(0, blank));
  if (blank == std::string_view::npos) return ActionFromText(keyword);
  const std::string_view rest = words.substr(blank + 1);
  if (keyword == "POWER" || keyword == "MUTE") return ActionFromText(keyword + " " + Upper(rest));
  return ActionFromText(keyword + " " + std::string(rest));
}

std::string ReadScheduleCommand(const json& object, ScheduleCommand& command) {
  if (!object.is_object()) return "\"schedule\" must be an object";
  for (const auto& [key, value] : object.items()) {
    if (std::find(kFields.begin(), kFields.end(), key) == kFields.end())
      return "unknown schedule field \"" + key.substr(0, 40) + "\"";
    const bool flag = key == "enforce" || key == "enabled";
    if (flag ? !value.is_boolean() : !value.is_string())
      return "the schedule field \"" + key + "\" has the wrong type";
  }
  const auto kind = ScheduleKindNamed(object.value("command", std::string()));
  if (!kind) return "unknown schedule command";
  command.kind = *kind;
  if (NamesAnEntry(*kind)) command.name = object.value("name", std::string());
  if (*kind == Kind::kAdd) return ReadEntry(object, command.entry);
  return {};
}

json ScheduleCommandJson(const ScheduleCommand& command) {
  json out = {{"command", ScheduleKindName(command.kind)}};
  if (NamesAnEntry(command.kind)) out["name"] = command.name;
  if (command.kind != Kind::kAdd) return out;
  const ScheduleEntry& entry = command.entry;
  out["name"] = entry.name;
  out["target"] = entry.target;
  out["action"] = ActionText(entry.action);
  out["when"] = WhenText(entry.when);
  if (entry.validFrom) out["from"] = DateText(*entry.validFrom);
  if (entry.validTo) out["to"] = DateText(*entry.validTo);
  out["enforce"] = entry.enforceAtStart;
  out["enabled"] = entry.enabled;
  return out;
}

std::string ScheduleCommandFromWords(const std::vector<std::string>& words,
                                     ScheduleCommand& command) {
  if (words.empty())
    return "schedule takes list, next, log, add, remove, enable, disable or run-due";
  const auto kind = ScheduleKindNamed(words.front());
  if (!kind) return "unknown schedule command \"" + words.front() + "\"";
  command.kind = *kind;
  if (*kind == Kind::kAdd) {
    if (words.size() < 2 || words[1].starts_with("--")) return "schedule add takes a NAME first";
    command.entry.name = words[1];
    return ReadAddWords(words, 2, command.entry);
  }
  if (NamesAnEntry(*kind)) {
    if (words.size() != 2) return "schedule " + words.front() + " takes one NAME";
    command.name = words[1];
    return {};
  }
  if (words.size() != 1) return "schedule " + words.front() + " takes nothing more";
  return {};
}

}  // namespace tarnex
