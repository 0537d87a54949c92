#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/backup_file.h"
#include "scripting/schedule_request.h"

namespace tarnex {

// What a script asks of the fleet: one verb and the names of its targets, as tarnexctl read
// them from its command line or the console read them from its owner socket. Nothing in it
// has been looked up yet: the names are resolved once, when the owner accepts the request.
struct ScriptRequest {
  enum class Verb {
    kList,
    kStatus,
    kPower,
    kInput,
    kMute,
    kMessage,
    kBackup,
    kRestore,
    kSend,
    kSchedule
  };

  Verb verb = Verb::kList;
  std::vector<std::string> targets;
  bool on = false;      // power, mute
  bool wait = false;    // power: until the displays report the state
  std::string input;    // input: av, component1, ... hdmi3
  std::string text;     // message
  bool clear = false;   // message --clear
  std::string file;     // backup, restore: the file tarnexctl reads or writes itself
  std::string command;  // send: one catalogue command, without its line end
  int timeoutSeconds = 30;
  // restore: the settings tarnexctl read from the file; the owner never opens a client's path.
  std::optional<BackupValues> values;
  ScheduleCommand schedule;  // schedule: what is asked of the schedules
};

inline constexpr size_t kMaxScriptTargets = 1000;
inline constexpr int kMaxScriptTimeout = 3600;

std::string_view VerbName(ScriptRequest::Verb verb);
std::optional<ScriptRequest::Verb> VerbNamed(std::string_view name);

// The request as the owner socket carries it (one JSON object; the restore values included),
// and as the document echoes it (`withValues` false).
std::string RequestToJson(const ScriptRequest& request, bool withValues = true);
// Checks everything: unknown fields, types, sizes, control characters in names, the target
// count, the verb's own arguments. The reason it was refused, or the request.
struct ParsedRequest {
  std::optional<ScriptRequest> request;
  std::string error;
};
ParsedRequest RequestFromJson(std::string_view text);

// Why the verb's own arguments are refused, empty when they are sound: shared by the command
// line and the socket, so both refuse the same requests with the same words.
std::string CheckRequest(const ScriptRequest& request);

// A command of the catalogue as a script may send it: two lower-case letters, a two-digit set
// ID and one to three hexadecimal fields ("kd 01 01"); nothing else reaches a display.
bool IsCatalogueCommand(std::string_view command);
// An input name a script may choose.
bool IsInputName(std::string_view name);

}  // namespace tarnex
