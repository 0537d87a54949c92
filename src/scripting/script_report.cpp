#include "scripting/script_report.h"

#include <array>
#include <nlohmann/json.hpp>
#include <utility>

#include "scripting/schedule_report.h"

namespace tarnex {
namespace {

using nlohmann::json;

constexpr std::array<std::pair<ScriptError, std::string_view>, 6> kErrors = {{
    {ScriptError::kNoReply, "no_reply"},
    {ScriptError::kRefused, "refused"},
    {ScriptError::kGone, "gone"},
    {ScriptError::kBusy, "busy"},
    {ScriptError::kUnsupported, "unsupported"},
    {ScriptError::kCancelled, "cancelled"},
}};

constexpr auto kReplace = json::error_handler_t::replace;

bool Skipped(const ScriptResult& result) {
  return result.error == ScriptError::kGone || result.error == ScriptError::kCancelled;
}

json ValueJson(const ScriptValue& value) {
  if (value.number) return *value.number;
  if (value.words) return *value.words;
  return value.word;
}

}  // namespace

json ScriptResultJson(const ScriptResult& result) {
  json values = json::object();
  for (const auto& [name, value] : result.values) values[name] = ValueJson(value);
  json error = nullptr;
  if (result.error != ScriptError::kNone)
    error = {{"code", ErrorCodeName(result.error)}, {"message", result.message}};
  return {{"display", {{"key", result.key}, {"label", result.label}, {"set_id", result.setId}}},
          {"ok", result.ok},
          {"acked", result.acked},
          {"values", std::move(values)},
          {"error", std::move(error)}};
}

namespace {

std::optional<ScriptValue> ValueFrom(const json& value) {
  ScriptValue read;
  if (value.is_string()) {
    read.word = value.get<std::string>();
  } else if (value.is_number_integer()) {
    read.number = value.get<long long>();
  } else if (value.is_array()) {
    read.words.emplace();
    for (const json& word : value) {
      if (!word.is_string()) return std::nullopt;
      read.words->push_back(word.get<std::string>());
    }
  } else {
    return std::nullopt;
  }
  return read;
}

std::optional<ScriptError> ErrorNamed(std::string_view name) {
  for (const auto& [error, known] : kErrors) {
    if (known == name) return error;
  }
  return std::nullopt;
}

}  // namespace

// The owner's answer is untrusted too: a field of the wrong type ends the reading.
std::optional<ScriptResult> ScriptResultFrom(const json& item) {
  ScriptResult result;
  const json& display = item.at("display");
  result.key = display.at("key").get<std::string>();
  result.label = display.at("label").get<std::string>();
  result.setId = display.at("set_id").get<std::string>();
  result.ok = item.at("ok").get<bool>();
  result.acked = item.at("acked").get<bool>();
  for (const auto& [name, value] : item.at("values").items()) {
    auto read = ValueFrom(value);
    if (!read) return std::nullopt;
    result.values[name] = std::move(*read);
  }
  const json& error = item.at("error");
  if (!error.is_null()) {
    const auto code = ErrorNamed(error.at("code").get<std::string>());
    if (!code) return std::nullopt;
    result.Fail(*code, error.at("message").get<std::string>());
  }
  return result;
}

namespace {

json ReportJson(const ScriptReport& report) {
  json results = json::array();
  for (const ScriptResult& result : report.results) results.push_back(ScriptResultJson(result));
  return {{"results", std::move(results)}, {"exit", ExitCodeOf(report)}};
}

}  // namespace

std::string_view ErrorCodeName(ScriptError error) {
  for (const auto& [known, name] : kErrors) {
    if (known == error) return name;
  }
  return {};
}

int ExitCodeOf(const ScriptReport& report) {
  if (report.exit) return *report.exit;
  if (report.timedOut) return script_exit::kTimedOut;
  for (const ScriptResult& result : report.results) {
    if (!result.ok && !Skipped(result)) return script_exit::kFailed;
  }
  return script_exit::kOk;
}

std::string ReportToJson(const ScriptReport& report) {
  json out = ReportJson(report);
  if (report.exit) out["exit_set"] = true;
  out["timed_out"] = report.timedOut;
  if (!report.errorCode.empty())
    out["error"] = {{"code", report.errorCode}, {"message", report.errorMessage}};
  if (report.values) out["settings"] = *report.values;
  AddScheduleJson(out, report, false);
  return out.dump(-1, ' ', false, kReplace);
}

std::optional<ScriptReport> ReportFromJson(std::string_view text) {
  const json in = json::parse(text, nullptr, false);
  if (in.is_discarded() || !in.is_object()) return std::nullopt;
  try {
    ScriptReport report;
    for (const json& item : in.at("results")) {
      auto result = ScriptResultFrom(item);
      if (!result) return std::nullopt;
      report.results.push_back(std::move(*result));
    }
    if (in.value("exit_set", false)) report.exit = in.at("exit").get<int>();
    report.timedOut = in.value("timed_out", false);
    if (const auto error = in.find("error"); error != in.end()) {
      report.errorCode = error->at("code").get<std::string>();
      report.errorMessage = error->at("message").get<std::string>();
    }
    if (const auto settings = in.find("settings"); settings != in.end()) {
      if (!settings->is_array() || settings->size() != std::tuple_size_v<BackupValues>)
        return std::nullopt;
      BackupValues values{};
      for (size_t key = 0; key < values.size(); ++key)
        values[key] = (*settings)[key].get<std::string>();
      report.values = std::move(values);
    }
    if (!ReadScheduleJson(in, report)) return std::nullopt;
    return report;
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

std::string ScriptDocument(const ScriptRequest& request, const ScriptReport& report) {
  json document = {{"schema", 1}, {"request", json::parse(RequestToJson(request, false))}};
  const json body = ReportJson(report);
  document["results"] = body["results"];
  size_t ok = 0;
  size_t skipped = 0;
  for (const ScriptResult& result : report.results) {
    ok += result.ok ? 1 : 0;
    skipped += Skipped(result) ? 1 : 0;
  }
  const size_t total = report.results.size();
  document["summary"] = {
      {"total", total}, {"ok", ok}, {"failed", total - ok - skipped}, {"skipped", skipped}};
  document["exit"] = ExitCodeOf(report);
  if (!report.errorCode.empty())
    document["error"] = {{"code", report.errorCode}, {"message", report.errorMessage}};
  if (request.verb == ScriptRequest::Verb::kSchedule) AddScheduleJson(document, report, true);
  return document.dump(2, ' ', false, kReplace) + "\n";
}

// Labels and names come from a hand-editable file: a control character would reach the
// terminal as one.
std::string Shown(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

std::string ScriptText(const ScriptRequest& request, const ScriptReport& report) {
  if (request.verb == ScriptRequest::Verb::kSchedule) return ScheduleText(report);
  std::string text;
  for (const ScriptResult& result : report.results) {
    text += Shown(result.key);
    if (!result.label.empty()) text += " (" + Shown(result.label) + ")";
    text += result.ok ? ": ok" : ": FAILED";
    for (const auto& [name, value] : result.values) {
      text += " " + name + "=";
      if (value.number) {
        text += std::to_string(*value.number);
      } else if (value.words) {
        for (size_t i = 0; i < value.words->size(); ++i) text += (i ? "," : "") + (*value.words)[i];
      } else {
        text += Shown(value.word);
      }
    }
    if (result.error != ScriptError::kNone)
      text += " [" + std::string(ErrorCodeName(result.error)) + ": " + result.message + "]";
    text += "\n";
  }
  return text;
}

}  // namespace tarnex
