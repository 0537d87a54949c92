#include "scripting/schedule_log.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "platform/atomic_file.h"
#include "scripting/schedule_report.h"

namespace tarnex {
namespace {

using nlohmann::json;

constexpr std::streamsize kMaxLogBytes = 4 * 1024 * 1024;

}  // namespace

std::string ScheduleLogToJson(const std::vector<ScheduleRunRecord>& records) {
  json runs = json::array();
  for (const ScheduleRunRecord& record : records) runs.push_back(ScheduleRunJson(record));
  return json{{"schedule_log", 1}, {"runs", std::move(runs)}}.dump(-1, ' ', false,
                                                                   json::error_handler_t::replace) +
         "\n";
}

std::optional<std::vector<ScheduleRunRecord>> ScheduleLogFromJson(std::string_view text) {
  const json in = json::parse(text, nullptr, false);
  if (in.is_discarded() || !in.is_object() || in.value("schedule_log", 0) != 1) return std::nullopt;
  try {
    std::vector<ScheduleRunRecord> records;
    for (const json& item : in.at("runs")) {
      if (records.size() >= ScheduleKeeper::kLogSize) break;
      records.push_back(ScheduleRunFrom(item));
    }
    return records;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::vector<ScheduleRunRecord> ReadScheduleLog(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text(static_cast<size_t>(kMaxLogBytes) + 1, '\0');
  in.read(text.data(), kMaxLogBytes + 1);
  if (in.gcount() > kMaxLogBytes) return {};
  text.resize(static_cast<size_t>(in.gcount()));
  return ScheduleLogFromJson(text).value_or(std::vector<ScheduleRunRecord>{});
}

bool WriteScheduleLog(const std::string& path, const std::vector<ScheduleRunRecord>& records) {
  return WriteFileAtomically(path, ScheduleLogToJson(records));
}

}  // namespace tarnex
