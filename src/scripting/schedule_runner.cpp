#include "scripting/schedule_runner.h"

#include <algorithm>
#include <future>
#include <map>

#include "platform/trace.h"
#include "scripting/schedule_edit.h"
#include "scripting/schedule_log.h"
#include "scripting/script_runner.h"

namespace tarnex {

ScheduleKeeper::ScheduleKeeper(CConsoleCore& core, Options options)
    : m_core(core), m_options(std::move(options)) {
  if (!m_options.clock) m_options.clock = SystemScheduleClock();
  if (!m_options.logPath.empty()) {
    for (ScheduleRunRecord& record : ReadScheduleLog(m_options.logPath))
      m_log.push_back(std::move(record));
  }
}

ScheduleKeeper::~ScheduleKeeper() {
  Stop();
}

void ScheduleKeeper::Start() {
  if (m_thread.joinable()) return;
  m_thread = std::thread([this] { Loop(); });
}

void ScheduleKeeper::Stop() {
  {
    std::lock_guard lock(m_wakeMutex);
    m_stopping = true;
  }
  m_wakeUp.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void ScheduleKeeper::Wake() {
  {
    std::lock_guard lock(m_wakeMutex);
    m_woken = true;
  }
  m_wakeUp.notify_all();
}

std::vector<ScheduleRunRecord> ScheduleKeeper::Log() const {
  std::lock_guard lock(m_logMutex);
  return {m_log.begin(), m_log.end()};
}

// At most a period, and no longer than until the next run: a run starts at its minute, not
// when the next look happens to come.
std::chrono::milliseconds ScheduleKeeper::UntilNextRun() const {
  ScheduleTable table;
  {
    auto state = m_core.Lock();
    table = state->Doc().m_docSchedules;
  }
  const std::time_t now = m_options.clock();
  const ScheduleBook book(table);
  std::optional<std::time_t> next;
  for (size_t i = 0; i < table.entries.size(); ++i) {
    const auto run = book.NextRun(i, now);
    if (run && (!next || *run < *next)) next = run;
  }
  if (!next) return m_options.period;
  // A little past the minute's first second, which the evaluation then includes.
  const auto until = std::chrono::seconds(*next - now) + std::chrono::milliseconds(100);
  return std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(until),
                    std::chrono::milliseconds(0), m_options.period);
}

void ScheduleKeeper::Loop() {
  bool atStart = true;
  for (;;) {
    if (!m_core.Stopping()) RunDue(atStart);
    atStart = false;
    const auto wait = UntilNextRun();
    std::unique_lock lock(m_wakeMutex);
    m_wakeUp.wait_for(lock, wait, [this] { return m_stopping || m_woken; });
    if (m_stopping) return;
    m_woken = false;
  }
}

std::vector<ScheduleRunRecord> ScheduleKeeper::RunDue(bool atStart) {
  std::lock_guard evaluation(m_runMutex);
  ScheduleTable table;
  {
    auto state = m_core.Lock();
    table = state->Doc().m_docSchedules;
  }
  if (!m_state) m_state = ReadScheduleState(m_options.statePath).value_or(ScheduleState{});
  const std::time_t now = m_options.clock();
  const ScheduleEvaluation found = ScheduleBook(table).Evaluate(now, *m_state, atStart);
  if (atStart) NoteMissed(table, found);
  NoteLost(table, found);
  // Recorded before the first send: a crash while they run loses them rather than repeating
  // them. The file changes only with a run; between runs the evaluation time stays here.
  ScheduleBook::Record(*m_state, table, found.due, now);
  const bool record = !found.due.empty() || m_options.recordEveryEvaluation;
  if (record && !WriteScheduleState(m_options.statePath, *m_state))
    Trace("schedule state not written: %s", m_options.statePath.c_str());
  std::vector<ScheduleRunRecord> records = RunAll(table, found.due, now);
  Keep(records);
  return records;
}

// Entries of one minute with one action are one fleet operation; those with different
// actions run side by side, each waiting on its own jobs.
std::vector<ScheduleRunRecord> ScheduleKeeper::RunAll(const ScheduleTable& table,
                                                      const std::vector<DueRun>& due,
                                                      std::time_t now) {
  std::vector<ScheduleRunRecord> records;
  if (due.empty() || m_core.Stopping()) return records;
  // The fleet looked up once for all of them: a thousand displays copied for each of two
  // hundred entries would hold the console lock longer than the runs take.
  ScheduleRunOptions options = m_options.run;
  {
    auto state = m_core.Lock();
    options.directory =
        std::make_shared<const FleetDirectory>(DirectoryOf(m_core, state, options.linksKnown));
  }
  std::map<std::string, std::pair<std::vector<const ScheduleEntry*>, std::vector<DueRun>>> byAction;
  for (const DueRun& run : due) {
    const ScheduleEntry& entry = table.entries[run.entry];
    auto& [entries, dues] = byAction[ActionText(entry.action)];
    entries.push_back(&entry);
    dues.push_back(run);
  }
  std::vector<std::future<std::vector<ScheduleRunRecord>>> running;
  // Not a structured binding: clang 14, which builds the fuzz targets, cannot capture one.
  for (const auto& byEntry : byAction) {
    const auto& batch = byEntry.second;
    running.push_back(std::async(std::launch::async, [this, &batch, &options, now] {
      return RunScheduleEntries(m_core, batch.first, batch.second, now, options);
    }));
  }
  for (auto& run : running) {
    for (ScheduleRunRecord& record : run.get()) records.push_back(std::move(record));
  }
  return records;
}

void ScheduleKeeper::NoteMissed(const ScheduleTable& table, const ScheduleEvaluation& evaluation) {
  std::string told;
  for (const MissedRuns& missed : evaluation.missed) {
    const ScheduleEntry& entry = table.entries[missed.entry];
    const std::string what =
        std::to_string(missed.count) + " missed run" + (missed.count == 1 ? "" : "s") + ", first " +
        ScheduleTimeText(missed.first) + ", last " + ScheduleTimeText(missed.last);
    m_core.Lock()->AppendAlarmHistory("", "Schedule " + entry.name + ": " + what);
    told += "\n" + entry.name + ": " + what;
  }
  if (!told.empty() && m_options.tellMissed)
    m_options.tellMissed("Scheduled runs were missed while the console was not running:" + told);
}

void ScheduleKeeper::NoteLost(const ScheduleTable& table, const ScheduleEvaluation& evaluation) {
  for (const LostConflict& lost : evaluation.lost) {
    const ScheduleEntry& winner = table.entries[lost.winner];
    m_core.Lock()->AppendAlarmHistory("", "Schedule " + table.entries[lost.loser].name +
                                              ": not run at " + ScheduleTimeText(lost.at) + ", " +
                                              winner.name + " runs for " + winner.target);
  }
}

void ScheduleKeeper::Keep(std::vector<ScheduleRunRecord> records) {
  if (records.empty()) return;
  std::lock_guard lock(m_logMutex);
  for (ScheduleRunRecord& record : records) {
    m_log.push_back(std::move(record));
    if (m_log.size() > kLogSize) m_log.pop_front();
  }
  if (!m_options.logPath.empty() &&
      !WriteScheduleLog(m_options.logPath, {m_log.begin(), m_log.end()}))
    Trace("schedule log not written: %s", m_options.logPath.c_str());
}

}  // namespace tarnex
