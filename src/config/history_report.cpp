#include "config/history_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>

#include "platform/profile_cache.h"

namespace tarnex {
namespace {

constexpr int kNetwork = 1;
constexpr int kSerial = 2;
// Lines kept for a report that cannot be written, a few thousand of them; past that the
// oldest go, so that a report that never comes back cannot exhaust memory.
constexpr size_t kMaxBacklogBytes = 1024 * 1024;

// One write() on a descriptor opened for appending puts the whole text at the end of the
// file in one piece, so lines from several threads or processes never interleave. Only a
// regular file is written, opened without blocking: a FIFO or a device in its place is
// skipped rather than waited for. A report its owner may not write was made read-only on
// purpose; root, whom the system lets write it, keeps off it too. Returns the bytes written.
size_t AppendWhole(const std::string& path, const std::string& text) {
  const int fd = OpenRegularFile(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return 0;
  struct stat info {};
  size_t written = 0;
  if (::fstat(fd, &info) == 0 && (info.st_mode & S_IWUSR) != 0) {
    while (written < text.size()) {
      const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      written += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  return written;
}

// The lines a report could not take, written ahead of its next line; and whether the
// operator was told. Entries go once their report is written again.
struct Backlog {
  std::string text;
  bool told = false;
};

std::mutex& BacklogMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, Backlog>& Backlogs() {
  static std::map<std::string, Backlog> backlogs;
  return backlogs;
}

// Kept apart from the backlog so that a slow hook never holds a write; clearing the hook
// waits for a call in progress, so its owner may go once the clear returns.
std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}

struct FailureHook {
  const void* owner = nullptr;
  HistoryFailureHook hook;
};

FailureHook& Hook() {
  static FailureHook hook;
  return hook;
}

void Bound(std::string& text) {
  if (text.size() <= kMaxBacklogBytes) return;
  const size_t cut = text.find("\r\n", text.size() - kMaxBacklogBytes);
  text.erase(0, cut == std::string::npos ? text.size() : cut + 2);
}

// Appends the run behind whatever the report still owes; false when any of it stays owed.
// A report that starts failing goes to `failing`.
bool AppendOwed(const std::string& path, const std::string& run,
                std::vector<std::string>& failing) {
  Backlog& owed = Backlogs()[path];
  std::string text = owed.text + run;
  const size_t written = AppendWhole(path, text);
  if (written == text.size()) {
    Backlogs().erase(path);
    return true;
  }
  owed.text = text.substr(written);
  Bound(owed.text);
  if (!owed.told) {
    owed.told = true;
    failing.push_back(path);
  }
  return false;
}

void Tell(const std::vector<std::string>& failing) {
  std::lock_guard lock(HookMutex());
  for (const std::string& path : failing) {
    std::fprintf(stderr, "%s\n", HistoryFailureText(path).c_str());
    if (Hook().hook) Hook().hook(path);
  }
}

}  // namespace

LocalDateTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

std::string Printable(std::string_view text) {
  std::string printable;
  printable.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    printable += byte < 0x20 || byte == 0x7f ? '?' : c;
  }
  return printable;
}

std::string FormatHistoryLine(int communicationSelect, const LocalDateTime& when,
                              std::string_view subject, std::string_view operation) {
  char stamp[80];
  const int n = std::snprintf(stamp, sizeof stamp, "%d/%d/%d  %.2d:%.2d:%.2d    ", when.year,
                              when.month, when.day, when.hour, when.minute, when.second);
  std::string line(stamp, n > 0 ? std::min(static_cast<size_t>(n), sizeof stamp - 1) : 0);
  line += communicationSelect == kSerial ? "Set ID : " : "IP Address : ";
  line += Printable(subject);
  line += "    Operation : ";
  line += Printable(operation);
  line += "\r\n";
  return line;
}

CHistoryReport::CHistoryReport(std::string folder, LocalClock clock)
    : folder_(std::move(folder)), clock_(std::move(clock)) {}

std::string CHistoryReport::FilePath(int communicationSelect) const {
  if (communicationSelect == kNetwork) return folder_ + "Network_HistoryReport.txt";
  if (communicationSelect == kSerial) return folder_ + "Serial_HistoryReport.txt";
  return {};
}

void CHistoryReport::Append(int communicationSelect, std::string_view subject,
                            std::string_view operation) {
  if (auto line = Prepare(communicationSelect, subject, operation)) Write({std::move(*line)});
}

std::optional<HistoryLine> CHistoryReport::Prepare(int communicationSelect,
                                                   std::string_view subject,
                                                   std::string_view operation) const {
  std::string path = FilePath(communicationSelect);
  if (path.empty()) return std::nullopt;
  return HistoryLine{std::move(path),
                     FormatHistoryLine(communicationSelect, clock_(), subject, operation)};
}

bool CHistoryReport::Write(const std::vector<HistoryLine>& lines) {
  std::vector<std::string> failing;
  bool all = true;
  {
    // One writer at a time keeps a backlog ahead of the lines that follow it.
    std::lock_guard lock(BacklogMutex());
    for (size_t first = 0; first < lines.size();) {
      std::string run = lines[first].text;
      size_t next = first + 1;
      for (; next < lines.size() && lines[next].path == lines[first].path; ++next) {
        run += lines[next].text;
      }
      all = AppendOwed(lines[first].path, run, failing) && all;
      first = next;
    }
  }
  Tell(failing);
  return all;
}

std::string HistoryFailureText(const std::string& path) {
  return "The history report cannot be written: " + path;
}

void SetHistoryFailureHook(const void* owner, HistoryFailureHook hook) {
  std::lock_guard lock(HookMutex());
  Hook() = {owner, std::move(hook)};
}

void ClearHistoryFailureHook(const void* owner) {
  std::lock_guard lock(HookMutex());
  if (Hook().owner == owner) Hook() = {};
}

}  // namespace tarnex
