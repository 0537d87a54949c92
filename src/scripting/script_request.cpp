#include "scripting/script_request.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <utility>

#include "monitor/message_frames.h"

namespace tarnex {
namespace {

using nlohmann::json;

constexpr std::array<std::pair<ScriptRequest::Verb, std::string_view>, 10> kVerbs = {{
    {ScriptRequest::Verb::kList, "list"},
    {ScriptRequest::Verb::kStatus, "status"},
    {ScriptRequest::Verb::kPower, "power"},
    {ScriptRequest::Verb::kInput, "input"},
    {ScriptRequest::Verb::kMute, "mute"},
    {ScriptRequest::Verb::kMessage, "message"},
    {ScriptRequest::Verb::kBackup, "backup"},
    {ScriptRequest::Verb::kRestore, "restore"},
    {ScriptRequest::Verb::kSend, "send"},
    {ScriptRequest::Verb::kSchedule, "schedule"},
}};

constexpr std::array<std::string_view, 8> kInputNames = {
    "av", "component1", "component2", "rgb1", "rgb2", "hdmi1", "hdmi2", "hdmi3"};

constexpr std::array<std::string_view, 12> kFields = {"verb",    "targets", "state",  "wait",
                                                      "input",   "text",    "clear",  "file",
                                                      "command", "timeout", "values", "schedule"};

// A name or a text from a client: no control characters, bounded.
bool Printable(std::string_view text, size_t limit) {
  return text.size() <= limit && std::none_of(text.begin(), text.end(), [](char c) {
           const auto byte = static_cast<unsigned char>(c);
           return byte < 0x20 || byte == 0x7f;
         });
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsLower(char c) {
  return c >= 'a' && c <= 'z';
}

std::string ReadString(const json& object, const char* key, bool& bad) {
  const auto found = object.find(key);
  if (found == object.end()) return {};
  if (!found->is_string()) {
    bad = true;
    return {};
  }
  return found->get<std::string>();
}

bool ReadBool(const json& object, const char* key, bool& bad) {
  const auto found = object.find(key);
  if (found == object.end()) return false;
  if (!found->is_boolean()) {
    bad = true;
    return false;
  }
  return found->get<bool>();
}

std::string ReadValues(const json& object, ScriptRequest& request) {
  const auto found = object.find("values");
  if (found == object.end()) return {};
  if (!found->is_array() || found->size() != std::tuple_size_v<BackupValues>)
    return "\"values\" must hold one text per setting";
  BackupValues values{};
  for (size_t key = 0; key < values.size(); ++key) {
    const json& value = (*found)[key];
    if (!value.is_string()) return "\"values\" must hold texts";
    values[key] = value.get<std::string>();
    if (!Printable(values[key], kBackupValueMaxChars)) return "a setting value is not printable";
  }
  request.values = std::move(values);
  return {};
}

std::string ReadTargets(const json& object, ScriptRequest& request) {
  const auto found = object.find("targets");
  if (found == object.end()) return {};
  if (!found->is_array()) return "\"targets\" must be a list";
  if (found->size() > kMaxScriptTargets) return "more than 1000 targets";
  for (const json& target : *found) {
    if (!target.is_string()) return "a target must be a text";
    std::string name = target.get<std::string>();
    if (name.empty() || !Printable(name, 256)) return "a target name is empty or not printable";
    request.targets.push_back(std::move(name));
  }
  return {};
}

std::string ReadRequest(const json& object, ScriptRequest& request) {
  for (const auto& [key, value] : object.items()) {
    if (std::find(kFields.begin(), kFields.end(), key) == kFields.end())
      return "unknown field \"" + key.substr(0, 40) + "\"";
  }
  bool bad = false;
  const auto verb = VerbNamed(ReadString(object, "verb", bad));
  if (!verb) return "unknown verb";
  request.verb = *verb;
  const std::string state = ReadString(object, "state", bad);
  if (!state.empty() && state != "on" && state != "off") return "\"state\" is on or off";
  request.on = state == "on";
  request.wait = ReadBool(object, "wait", bad);
  request.input = ReadString(object, "input", bad);
  request.text = ReadString(object, "text", bad);
  request.clear = ReadBool(object, "clear", bad);
  request.file = ReadString(object, "file", bad);
  request.command = ReadString(object, "command", bad);
  if (const auto timeout = object.find("timeout"); timeout != object.end()) {
    if (!timeout->is_number_integer()) return "\"timeout\" must be whole seconds";
    const auto seconds = timeout->get<long long>();
    if (seconds < 1 || seconds > kMaxScriptTimeout) return "\"timeout\" is 1 to 3600 seconds";
    request.timeoutSeconds = static_cast<int>(seconds);
  }
  if (bad) return "a field has the wrong type";
  if (!Printable(request.file, 4096) || !Printable(request.input, 32))
    return "a name is not printable";
  if (std::string error = ReadTargets(object, request); !error.empty()) return error;
  if (const auto schedule = object.find("schedule"); schedule != object.end()) {
    if (request.verb != ScriptRequest::Verb::kSchedule) return "\"schedule\" without its verb";
    if (std::string error = ReadScheduleCommand(*schedule, request.schedule); !error.empty())
      return error;
  }
  return ReadValues(object, request);
}

}  // namespace

std::string_view VerbName(ScriptRequest::Verb verb) {
  for (const auto& [known, name] : kVerbs) {
    if (known == verb) return name;
  }
  return {};
}

std::optional<ScriptRequest::Verb> VerbNamed(std::string_view name) {
  for (const auto& [verb, known] : kVerbs) {
    if (known == name) return verb;
  }
  return std::nullopt;
}

bool IsInputName(std::string_view name) {
  return std::find(kInputNames.begin(), kInputNames.end(), name) != kInputNames.end();
}

// "kd 01 01": letters, set ID and fields each separated by one blank, as the catalogue's
// commands are; at most three fields, the widest any command takes.
bool IsCatalogueCommand(std::string_view command) {
  if (command.size() < 8 || command.size() > 14 || (command.size() - 2) % 3 != 0 ||
      !IsLower(command[0]) || !IsLower(command[1]))
    return false;
  for (size_t i = 2; i < command.size(); i += 3) {
    if (command[i] != ' ' || !IsHex(command[i + 1]) || !IsHex(command[i + 2])) return false;
  }
  return true;
}

std::string CheckRequest(const ScriptRequest& request) {
  using Verb = ScriptRequest::Verb;
  if (request.targets.size() > kMaxScriptTargets) return "more than 1000 targets";
  const bool targetless = request.verb == Verb::kList || request.verb == Verb::kSchedule;
  if (targetless && !request.targets.empty())
    return std::string(VerbName(request.verb)) + " takes no target";
  if (!targetless && request.targets.empty()) return "no target given";
  switch (request.verb) {
    case Verb::kInput:
      if (!IsInputName(request.input)) return "unknown input \"" + request.input + "\"";
      break;
    case Verb::kMessage:
      if (!request.clear && !MessageSupported(request.text))
        return "the message cannot be shown (empty, too long, or characters a display lacks)";
      break;
    case Verb::kBackup:
      if (request.targets.size() != 1) return "backup reads one display";
      break;
    case Verb::kRestore:
      if (!request.values) return "no settings to restore";
      break;
    case Verb::kSend:
      if (!IsCatalogueCommand(request.command))
        return "not a catalogue command (two letters, set ID, hexadecimal fields): \"" +
               request.command + "\"";
      break;
    default:
      break;
  }
  return {};
}

std::string RequestToJson(const ScriptRequest& request, bool withValues) {
  using Verb = ScriptRequest::Verb;
  json out = {{"verb", VerbName(request.verb)},
              {"targets", request.targets},
              {"timeout", request.timeoutSeconds}};
  if (request.verb == Verb::kPower || request.verb == Verb::kMute)
    out["state"] = request.on ? "on" : "off";
  if (request.verb == Verb::kPower) out["wait"] = request.wait;
  if (request.verb == Verb::kInput) out["input"] = request.input;
  if (request.verb == Verb::kMessage) {
    out["clear"] = request.clear;
    if (!request.clear) out["text"] = request.text;
  }
  if (request.verb == Verb::kBackup || request.verb == Verb::kRestore) out["file"] = request.file;
  if (request.verb == Verb::kSend) out["command"] = request.command;
  if (request.verb == Verb::kSchedule) out["schedule"] = ScheduleCommandJson(request.schedule);
  if (withValues && request.values) out["values"] = *request.values;
  return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

ParsedRequest RequestFromJson(std::string_view text) {
  ParsedRequest parsed;
  json object = json::parse(text, nullptr, false);
  if (object.is_discarded() || !object.is_object()) {
    parsed.error = "the request is not a JSON object";
    return parsed;
  }
  ScriptRequest request;
  parsed.error = ReadRequest(object, request);
  if (parsed.error.empty()) parsed.error = CheckRequest(request);
  if (parsed.error.empty()) parsed.request = std::move(request);
  return parsed;
}

}  // namespace tarnex
