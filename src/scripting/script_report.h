#pragma once

#include <ctime>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "scripting/script_request.h"

namespace tarnex {

// Why one display did not do what was asked: a closed set of codes a script can rely on.
enum class ScriptError { kNone, kNoReply, kRefused, kGone, kBusy, kUnsupported, kCancelled };

// How a script run ends (first match wins in ExitCodeOf).
namespace script_exit {
inline constexpr int kOk = 0;
inline constexpr int kInternal = 1;
inline constexpr int kUsage = 2;
inline constexpr int kTimedOut = 3;
inline constexpr int kFailed = 4;
inline constexpr int kOwnerBusy = 8;
inline constexpr int kNotFound = 10;
}  // namespace script_exit

// A value a result reports: a word, a number or a list of words.
struct ScriptValue {
  std::string word;
  std::optional<long long> number;
  std::optional<std::vector<std::string>> words;
};

struct ScriptResult {
  std::string key;    // the address, or "set 05"
  std::string label;  // the display's label, empty when it has none
  std::string setId;  // "01" on the network; the set ID on the line
  bool ok = false;
  bool acked = false;
  std::map<std::string, ScriptValue> values;
  ScriptError error = ScriptError::kNone;
  std::string message;

  void Fail(ScriptError code, std::string why) {
    ok = false;
    error = code;
    message = std::move(why);
  }
};

// What one run of an entry came to, member by member: the dialog's log and
// `tarnexctl schedule log` show it.
struct ScheduleRunRecord {
  std::string entry;
  std::string target;
  std::string action;     // as stored: "POWER OFF"
  std::time_t at = 0;     // the occurrence
  std::time_t ran = 0;    // when it started
  bool enforced = false;  // a missed occurrence run at the start
  int tries = 1;
  std::vector<ScriptResult> results;
  int exit = 0;      // as tarnexctl would have exited
  std::string note;  // what went wrong as a whole ("target not found: group:Hall")
};

// What a run came to. `exit` is set for a run-wide end (usage, not found, owner busy);
// otherwise ExitCodeOf derives it from the results.
struct ScriptReport {
  std::vector<ScriptResult> results;
  std::optional<int> exit;
  std::string errorCode;  // not_found, owner_busy, owner_gone, timeout, internal, usage
  std::string errorMessage;
  bool timedOut = false;
  // backup: the settings read, for tarnexctl to write.
  std::optional<BackupValues> values;
  // schedule list and next: the entries; schedule log and run-due: the runs.
  std::vector<ScheduleRow> schedule;
  std::vector<ScheduleRunRecord> runs;
};

std::string_view ErrorCodeName(ScriptError error);
// One result as the owner socket and the document carry it, and read back (none when a field
// is missing or of the wrong type).
nlohmann::json ScriptResultJson(const ScriptResult& result);
std::optional<ScriptResult> ScriptResultFrom(const nlohmann::json& item);
int ExitCodeOf(const ScriptReport& report);

// The report as the owner socket carries it back, and read again by tarnexctl.
std::string ReportToJson(const ScriptReport& report);
std::optional<ScriptReport> ReportFromJson(std::string_view text);

// The text with each control character as "?", for a person's terminal.
std::string Shown(std::string text);

// The one document `--json` prints.
std::string ScriptDocument(const ScriptRequest& request, const ScriptReport& report);
// The same for a person: a line per display.
std::string ScriptText(const ScriptRequest& request, const ScriptReport& report);

}  // namespace tarnex
