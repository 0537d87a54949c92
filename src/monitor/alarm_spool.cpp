#include "monitor/alarm_spool.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/atomic_file.h"

namespace tarnex {
namespace {

// Far more than kMaxWaiting lines of the longest address: a larger file is no spool of ours.
constexpr std::streamsize kMaxSpoolBytes = 256 * 1024;

bool Number(std::string_view& text, long long& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data() || end == text.data() + text.size() ||
      *end != ' ') {
    return false;
  }
  text.remove_prefix(static_cast<size_t>(end - text.data()) + 1);
  return true;
}

bool Printable(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}

}  // namespace

std::string AlarmSpoolText(const std::vector<QueuedAlarm>& alarms) {
  std::string text;
  for (const QueuedAlarm& alarm : alarms) {
    if (!Printable(alarm.address)) continue;
    text += std::to_string(static_cast<int>(alarm.kind)) + " " + std::to_string(alarm.attempts) +
            " " + std::to_string(static_cast<long long>(alarm.raised)) + " " + alarm.address + "\n";
  }
  return text;
}

std::vector<QueuedAlarm> ParseAlarmSpool(std::string_view text) {
  std::vector<QueuedAlarm> alarms;
  while (!text.empty() && alarms.size() < AlarmQueue::kMaxWaiting) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    long long kind = 0;
    long long attempts = 0;
    long long raised = 0;
    if (!Number(line, kind) || !Number(line, attempts) || !Number(line, raised)) continue;
    if (kind < 1 || kind > 4 || attempts < 0 || attempts > 100 || !Printable(line)) continue;
    alarms.push_back({static_cast<AlarmKind>(kind), std::string(line), static_cast<int>(attempts),
                      static_cast<std::time_t>(raised)});
  }
  return alarms;
}

bool WriteAlarmSpool(const std::string& path, const std::vector<QueuedAlarm>& alarms) {
  if (alarms.empty()) return std::remove(path.c_str()) == 0 || errno == ENOENT;
  return WriteFileAtomically(path, AlarmSpoolText(alarms), 0600);
}

std::vector<QueuedAlarm> TakeAlarmSpool(const std::string& path) {
  // Anything but a plain file (a FIFO would hold the start) is no spool.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return {};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text(static_cast<size_t>(kMaxSpoolBytes), '\0');
  in.read(text.data(), kMaxSpoolBytes);
  text.resize(static_cast<size_t>(in.gcount()));
  in.close();
  std::remove(path.c_str());
  return ParseAlarmSpool(text);
}

}  // namespace tarnex
