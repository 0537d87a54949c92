#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/backup_file.h"
#include "console/command_transaction.h"

namespace tarnex {

// The two counters a save or a restore shows, 0 to 100: the display being worked on and the
// whole command. The worker sets them; a progress window reads them from the UI thread.
class BackupProgress {
 public:
  // Called on the worker at every change; for tests, set before the run.
  using Observer = std::function<void(int current, int total)>;

  void SetObserver(Observer observer) { m_observer = std::move(observer); }
  void Set(int current, int total);
  int Current() const { return m_current.load(std::memory_order_relaxed); }
  int Total() const { return m_total.load(std::memory_order_relaxed); }

 private:
  std::atomic<int> m_current{0};
  std::atomic<int> m_total{0};
  Observer m_observer;
};

// kUnfinished: the reads did not end within their deadline (the display's turn never came).
enum class SaveResult {
  kSaved,
  kNoTarget,
  kSilent,
  kIncomplete,
  kUnwritable,
  kCancelled,
  kUnfinished
};

struct SaveOutcome {
  SaveResult result = SaveResult::kNoTarget;
  std::string subject;  // the display's address, or "set ID 05"
  std::string path;
  int emptyKeys = 0;
};

// Reads the 60 settings of the target's one display (network) or set ID (serial) and writes
// them to `path`. Nothing is written when the display stops answering, when 6 or more values
// are missing (a file that no load would take), or when the console closes meanwhile; an
// existing file then stays as it was. A reply of odd length is asked again, three sends in
// all, after which its key stays empty. Blocks the calling thread, a worker's.
// The same reads without the file: `values` holds what was read when the result is kSaved
// (fewer than 6 values missing). For a caller that writes the file itself.
struct SettingsRead {
  SaveOutcome outcome;
  BackupValues values{};
};
// `until`, when given, ends the wait earlier than the save's own deadline (a script's
// time-out); the reads are stopped there.
SettingsRead ReadSettings(CConsoleCore& core, const CommandTarget& target, BackupProgress& progress,
                          std::optional<std::chrono::steady_clock::time_point> until = {});
SaveOutcome SaveSettings(CConsoleCore& core, const CommandTarget& target, const std::string& path,
                         BackupProgress& progress);

// What the operator is told at the end of a save; empty when the console is closing.
std::string SaveMessage(const SaveOutcome& outcome);

struct RestoreReport {
  // The displays (addresses) or set IDs that did not take every command sent, with why:
  // "127.0.0.5 (down)", "set ID 07 (silent)", "127.0.0.6 (refused 2 of 60 settings)"; each
  // named once.
  std::vector<std::string> notRestored;
  // Keys whose value is no 2, 4 or 6 hexadecimal digits: nothing was sent for them.
  std::vector<size_t> skippedKeys;
  bool cancelled = false;
  bool noTarget = false;
  // The restore did not end within its deadline; it is stopped where it is.
  bool unfinished = false;
};

// Sends the restore commands of `values` to the target: the one display or set ID, every
// connected display of a network group at once (each its commands in key order, with its own
// pacing; a display listed twice is restored twice), or each open set ID of a serial group in
// turn. The power and input replies write their history lines as each arrives. The exchanges
// run as a console job under the target's displays; the calling thread (the backup worker, not
// the UI thread) waits for it, and a close ends the wait and the restore at once.
// `until` as for ReadSettings: the restore is stopped there, unfinished.
RestoreReport RestoreSettings(CConsoleCore& core, const CommandTarget& target,
                              const BackupValues& values, BackupProgress& progress,
                              std::optional<std::chrono::steady_clock::time_point> until = {});

// "Finish Configuration Setting" when every target took every command; otherwise what was not
// done. Empty when the console is closing or there was no target.
std::string RestoreMessage(const RestoreReport& report);

}  // namespace tarnex
