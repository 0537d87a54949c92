#pragma once

#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "display-sim/display_options.h"

namespace tarnex::sim {

// Every command the displays of a fleet received, in arrival order, and optionally a file
// with one line per command. Called from every display thread.
class CommandLog {
 public:
  // The in-memory log keeps the newest entries only, so that a peer flooding a display with
  // lines cannot exhaust memory.
  static constexpr size_t kMaxEntries = 100000;

  // An empty path keeps the log in memory only. Throws std::runtime_error when the file
  // cannot be opened.
  explicit CommandLog(const std::string& path = {});
  ~CommandLog();
  CommandLog(const CommandLog&) = delete;
  CommandLog& operator=(const CommandLog&) = delete;

  void Record(std::string_view address, std::string_view command);
  std::vector<LogEntry> Entries() const;
  std::vector<std::string> CommandsTo(std::string_view address) const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::deque<LogEntry> entries_;
  std::FILE* file_ = nullptr;
};

// The command as one log line: line feed, carriage return, tab and backslash written as
// "\n", "\r", "\t" and "\\", other control bytes and non-ASCII bytes as "\xNN".
std::string EscapeForLog(std::string_view command);

}  // namespace tarnex::sim
