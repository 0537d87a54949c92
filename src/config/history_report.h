#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnex {

// A local date and time as the history lines show it.
struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

using LocalClock = std::function<LocalDateTime()>;

LocalDateTime LocalNow();

// A dated line and the report it belongs to, made at the moment of the operation and written
// later.
struct HistoryLine {
  std::string path;
  std::string text;  // with its CR LF
};

// The audit trail: one dated line per operation, appended to "Network_HistoryReport.txt" or
// "Serial_HistoryReport.txt" in the configuration folder. Files are only ever appended to.
class CHistoryReport {
 public:
  // `folder` ends with a "/"; the file names are appended to it as they stand.
  explicit CHistoryReport(std::string folder, LocalClock clock = LocalNow);

  // Appends one line for the communication mode (1 network, 2 serial; any other mode writes
  // nothing). `subject` is the display's address (network) or its set ID (serial). A report
  // that cannot be written (not a regular file, or one its owner may not write) keeps the line
  // for its next one; the operation that asked for it goes on, and the operator is told once
  // (see SetHistoryFailureHook).
  void Append(int communicationSelect, std::string_view subject, std::string_view operation);
  // The line Append would write now, without writing it; none for another mode.
  std::optional<HistoryLine> Prepare(int communicationSelect, std::string_view subject,
                                     std::string_view operation) const;
  // Writes the lines in their order, with the same care as Append. Lines that follow each
  // other into one report go in one write, behind those it still owes. False when any line
  // stays owed.
  static bool Write(const std::vector<HistoryLine>& lines);

  std::string FilePath(int communicationSelect) const;
  void SetFolder(std::string folder) { folder_ = std::move(folder); }

 private:
  std::string folder_;
  LocalClock clock_;
};

// Called with the report's path when a report starts failing, and again only after it was
// written once more; from the thread that wrote, after the text went to stderr. One hook for
// the process: the window that shows it sets it, and clears it (by the same owner) before it
// goes. The clear waits for a call in progress.
using HistoryFailureHook = std::function<void(const std::string& path)>;
void SetHistoryFailureHook(const void* owner, HistoryFailureHook hook);
void ClearHistoryFailureHook(const void* owner);
// What the operator is told of a report that cannot be written.
std::string HistoryFailureText(const std::string& path);

// The text with every control character as "?". A history line is one line, whatever a name,
// a label or a stored address carries: a control character or a line break would split it or
// let the text pass for something else to whatever reads the report. Bytes of other code pages
// stay as they are.
std::string Printable(std::string_view text);

// One line with its CR LF ending, as a text-mode write on the console's original platform
// produced it, so existing reports keep one line ending.
std::string FormatHistoryLine(int communicationSelect, const LocalDateTime& when,
                              std::string_view subject, std::string_view operation);

}  // namespace tarnex
