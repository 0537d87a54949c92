#include "config/history_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/profile_cache.h"

namespace tarnex {
namespace {

constexpr int kNetwork = 1;
constexpr int kSerial = 2;

// One write() on a descriptor opened for appending puts the whole line at the end of the
// file in one piece, so lines from several threads or processes never interleave. Only a
// regular file is written, opened without blocking: a FIFO or a device in its place is
// skipped rather than waited for.
void AppendWhole(const std::string& path, const std::string& line) {
  const int fd = OpenRegularFile(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return;
  size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  ::close(fd);
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

void CHistoryReport::Write(const std::vector<HistoryLine>& lines) {
  for (size_t first = 0; first < lines.size();) {
    std::string run = lines[first].text;
    size_t next = first + 1;
    for (; next < lines.size() && lines[next].path == lines[first].path; ++next) {
      run += lines[next].text;
    }
    AppendWhole(lines[first].path, run);
    first = next;
  }
}

}  // namespace tarnex
