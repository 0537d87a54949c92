#include "display-sim/command_log.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "display-sim/command_line_parser.h"

namespace tarnex::sim {
namespace {

std::string EscapeByte(char c) {
  switch (c) {
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    case '\\':
      return "\\\\";
    default:
      break;
  }
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte >= 0x7f) return "\\x" + HexByte(byte);
  return std::string(1, c);
}

}  // namespace

std::string EscapeForLog(std::string_view command) {
  std::string escaped;
  for (const char c : command) escaped += EscapeByte(c);
  return escaped;
}

CommandLog::CommandLog(const std::string& path) {
  if (path.empty()) return;
  file_ = std::fopen(path.c_str(), "ae");
  if (file_ == nullptr) {
    throw std::runtime_error("cannot open log " + path + ": " + std::strerror(errno));
  }
}

CommandLog::~CommandLog() {
  if (file_ != nullptr) std::fclose(file_);
}

void CommandLog::Record(std::string_view address, std::string_view command) {
  std::lock_guard lock(mutex_);
  entries_.push_back({std::string(address), std::string(command)});
  if (entries_.size() > kMaxEntries) entries_.pop_front();
  if (file_ == nullptr) return;
  // Tests read the file while the displays run, so every line goes out at once.
  const std::string line = std::string(address) + "\t" + EscapeForLog(command) + "\n";
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

std::vector<LogEntry> CommandLog::Entries() const {
  std::lock_guard lock(mutex_);
  return {entries_.begin(), entries_.end()};
}

std::vector<std::string> CommandLog::CommandsTo(std::string_view address) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> commands;
  for (const LogEntry& entry : entries_) {
    if (entry.address == address) commands.push_back(entry.command);
  }
  return commands;
}

void CommandLog::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

}  // namespace tarnex::sim
