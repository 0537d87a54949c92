#pragma once

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "console/console_core.h"
#include "monitor/schedule_book.h"
#include "scripting/script_report.h"
#include "scripting/script_request.h"
#include "scripting/target_names.h"

namespace tarnex {

// Beside the configuration files: which occurrence each entry ran last.
inline constexpr const char* kScheduleStateFile = "ScheduleState.txt";

// The request an entry makes when it fires; its target is resolved then, like a script's.
ScriptRequest RequestForEntry(const ScheduleEntry& entry);

// A failing member is tried again, at most this many times, within kScheduleRetryWindow of
// the run's start; then it is reported.
inline constexpr int kScheduleRetries = 3;
inline constexpr std::chrono::seconds kScheduleRetryWindow{120};

struct ScheduleRunOptions {
  // The pause before a try again; a test makes it short.
  std::chrono::milliseconds retryPause{std::chrono::seconds(20)};
  // As for a script: a direct tarnexctl run connects the displays an entry names.
  bool linksKnown = true;
  std::function<void(const std::vector<NamedTarget>&)> connect{};
  // The fleet as it was when the minute's entries fired, shared by all of them.
  std::shared_ptr<const FleetDirectory> directory{};
};

// Runs one due occurrence as jobs like any group operation: the same member history lines as
// the window, plus one line naming the entry. Blocks the calling thread (never the UI thread,
// never a worker) until done, the retry window is over or the console stops.
ScheduleRunRecord RunScheduleEntry(CConsoleCore& core, const ScheduleEntry& entry,
                                   const DueRun& due, std::time_t now,
                                   const ScheduleRunOptions& options = {});

// Entries due together that do the same thing run as one fleet operation over all their
// targets, as one group send to them would, each entry keeping its own members' results, tries
// and history line. An entry whose target names nothing is refused on its own. Results come in
// the order of `entries`.
std::vector<ScheduleRunRecord> RunScheduleEntries(CConsoleCore& core,
                                                  const std::vector<const ScheduleEntry*>& entries,
                                                  const std::vector<DueRun>& dues, std::time_t now,
                                                  const ScheduleRunOptions& options = {});

// The console's clock-keeper: evaluates the table of the document every period (and when
// woken after an edit), runs what is due beside the operator's work and records each run
// in the state file before its first send, so that a crash or a restart never repeats it.
// Missed runs get one history line per entry and one message at the start.
class ScheduleKeeper {
 public:
  struct Options {
    ScheduleClock clock{};
    std::chrono::milliseconds period{std::chrono::seconds(15)};
    std::string statePath{};
    std::string logPath{};  // the last runs, kept across starts; empty: in memory only
    // Called once, from the keeper's thread, with what was missed while nobody ran the
    // schedules; empty when nothing was.
    std::function<void(const std::string&)> tellMissed{};
    ScheduleRunOptions run{};
    // A keeper that lives for one evaluation (tarnexctl schedule run-due) keeps the evaluation
    // time in the file too; the console's keeps it in memory between runs.
    bool recordEveryEvaluation = false;
  };
  static constexpr size_t kLogSize = 200;

  ScheduleKeeper(CConsoleCore& core, Options options);
  ~ScheduleKeeper();
  ScheduleKeeper(const ScheduleKeeper&) = delete;
  ScheduleKeeper& operator=(const ScheduleKeeper&) = delete;

  void Start();
  // No more runs; the ones in flight end as the core's stop ends their jobs. After the core's
  // Stop().
  void Stop();
  // Evaluate at once: an edit may have made something due.
  void Wake();
  // The last runs, newest last.
  std::vector<ScheduleRunRecord> Log() const;
  // Runs what is due now, on the calling thread; for `tarnexctl schedule run-due`.
  std::vector<ScheduleRunRecord> RunDue(bool atStart);

 private:
  void Loop();
  std::chrono::milliseconds UntilNextRun() const;
  std::vector<ScheduleRunRecord> RunAll(const ScheduleTable& table, const std::vector<DueRun>& due,
                                        std::time_t now);
  void NoteMissed(const ScheduleTable& table, const ScheduleEvaluation& evaluation);
  void NoteLost(const ScheduleTable& table, const ScheduleEvaluation& evaluation);
  void Keep(std::vector<ScheduleRunRecord> records);

  CConsoleCore& m_core;
  Options m_options;
  std::mutex m_wakeMutex;
  std::condition_variable m_wakeUp;
  bool m_stopping = false;
  bool m_woken = false;
  std::thread m_thread;
  std::mutex m_runMutex;                 // one evaluation at a time
  std::optional<ScheduleState> m_state;  // read at the first evaluation; m_runMutex
  mutable std::mutex m_logMutex;
  std::deque<ScheduleRunRecord> m_log;
};

}  // namespace tarnex
