#include "scripting/schedule_report.h"

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "scripting/schedule_edit.h"

namespace tarnex {
namespace {

using nlohmann::json;

json RowJson(const ScheduleRow& row) {
  return {{"name", row.name},     {"state", row.state},    {"target", row.target},
          {"action", row.action}, {"when", row.when},      {"valid", row.valid},
          {"next", row.next},     {"problem", row.problem}};
}

ScheduleRow RowFrom(const json& item) {
  ScheduleRow row;
  row.name = item.at("name").get<std::string>();
  row.state = item.at("state").get<std::string>();
  row.target = item.at("target").get<std::string>();
  row.action = item.at("action").get<std::string>();
  row.when = item.at("when").get<std::string>();
  row.valid = item.at("valid").get<std::string>();
  row.next = item.at("next").get<std::string>();
  row.problem = item.at("problem").get<std::string>();
  return row;
}

}  // namespace

json ScheduleRunJson(const ScheduleRunRecord& record) {
  json results = json::array();
  for (const ScriptResult& result : record.results) results.push_back(ScriptResultJson(result));
  return {{"entry", record.entry},   {"target", record.target},
          {"action", record.action}, {"at", record.at},
          {"ran", record.ran},       {"enforced", record.enforced},
          {"tries", record.tries},   {"exit", record.exit},
          {"note", record.note},     {"results", std::move(results)}};
}

ScheduleRunRecord ScheduleRunFrom(const json& item) {
  ScheduleRunRecord record;
  record.entry = item.at("entry").get<std::string>();
  record.target = item.at("target").get<std::string>();
  record.action = item.at("action").get<std::string>();
  record.at = item.at("at").get<std::time_t>();
  record.ran = item.at("ran").get<std::time_t>();
  record.enforced = item.at("enforced").get<bool>();
  record.tries = item.at("tries").get<int>();
  record.exit = item.at("exit").get<int>();
  record.note = item.at("note").get<std::string>();
  for (const json& result : item.at("results")) {
    auto read = ScriptResultFrom(result);
    if (!read) throw std::invalid_argument("a member's result is unreadable");
    record.results.push_back(std::move(*read));
  }
  return record;
}

void AddScheduleJson(json& out, const ScriptReport& report, bool always) {
  if (always || !report.schedule.empty()) {
    json rows = json::array();
    for (const ScheduleRow& row : report.schedule) rows.push_back(RowJson(row));
    out["schedule"] = std::move(rows);
  }
  if (always || !report.runs.empty()) {
    json runs = json::array();
    for (const ScheduleRunRecord& run : report.runs) runs.push_back(ScheduleRunJson(run));
    out["runs"] = std::move(runs);
  }
}

bool ReadScheduleJson(const json& in, ScriptReport& report) {
  try {
    if (const auto rows = in.find("schedule"); rows != in.end()) {
      for (const json& row : *rows) report.schedule.push_back(RowFrom(row));
    }
    if (const auto runs = in.find("runs"); runs != in.end()) {
      for (const json& run : *runs) report.runs.push_back(ScheduleRunFrom(run));
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string ScheduleText(const ScriptReport& report) {
  std::string text;
  for (const ScheduleRow& row : report.schedule) {
    text += Shown(row.name) + " [" + row.state + "] " + Shown(row.action) + " " +
            Shown(row.target) + " " + row.when;
    if (!row.valid.empty()) text += " valid " + row.valid;
    text += row.next.empty() ? ", no next run" : ", next " + row.next;
    if (!row.problem.empty()) text += " (" + Shown(row.problem) + ")";
    text += "\n";
  }
  for (const ScheduleRunRecord& run : report.runs) {
    size_t done = 0;
    for (const ScriptResult& result : run.results) done += result.ok ? 1 : 0;
    text += ScheduleTimeText(run.at) + " " + Shown(run.entry) + ": " + run.action + " " +
            Shown(run.target) + ", " + std::to_string(done) + " of " +
            std::to_string(run.results.size()) + " done";
    if (!run.note.empty()) text += ", " + Shown(run.note);
    text += "\n";
    for (const ScriptResult& result : run.results) {
      if (result.ok) continue;
      text += "  " + Shown(result.key) + ": " + std::string(ErrorCodeName(result.error)) + " (" +
              Shown(result.message) + ")\n";
    }
  }
  return text;
}

}  // namespace tarnex
