#include "scripting/schedule_runner.h"

#include <poll.h>

#include <algorithm>
#include <charconv>
#include <future>
#include <set>

#include "platform/trace.h"
#include "scripting/schedule_edit.h"
#include "scripting/schedule_log.h"
#include "scripting/script_runner.h"

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;
using Verb = ScriptRequest::Verb;

bool Retryable(const ScriptResult& result) {
  return !result.ok &&
         (result.error == ScriptError::kNoReply || result.error == ScriptError::kRefused ||
          result.error == ScriptError::kBusy);
}

// The name that reaches just this member again: its address, or its set number on the line.
std::string MemberName(const ScriptResult& result, bool serial) {
  if (!serial) return "display:" + result.key;
  int number = -1;
  std::from_chars(result.setId.data(), result.setId.data() + result.setId.size(), number, 16);
  return "set:" + std::to_string(number);
}

bool SerialMode(CConsoleCore& core) {
  return core.Lock()->Doc().m_docCommunicationSelect == kSerialMode;
}

// Waits on the console's stop: false when it stopped.
bool PauseFor(CConsoleCore& core, std::chrono::milliseconds pause) {
  pollfd stop{core.StopFd(), POLLIN, 0};
  ::poll(&stop, 1, static_cast<int>(pause.count()));
  return !core.Stopping();
}

// Those still failing get another try; the others keep their first result.
bool RetryFailing(CConsoleCore& core, const ScriptRequest& request, ScheduleRunRecord& record,
                  Clock::time_point windowEnd, const ScheduleRunOptions& options) {
  const bool serial = SerialMode(core);
  std::vector<size_t> failing;
  for (size_t i = 0; i < record.results.size(); ++i) {
    if (Retryable(record.results[i])) failing.push_back(i);
  }
  if (failing.empty() || Clock::now() + options.retryPause >= windowEnd) return false;
  if (!PauseFor(core, options.retryPause)) return false;
  ScriptRequest again = request;
  again.targets.clear();
  for (size_t i : failing) again.targets.push_back(MemberName(record.results[i], serial));
  const ScriptReport report = AcceptAndRun(
      core, again,
      {.deadline = windowEnd, .linksKnown = options.linksKnown, .connect = options.connect});
  ++record.tries;
  // A member that left meanwhile is reported as the first try left it.
  for (size_t k = 0; k < failing.size() && k < report.results.size(); ++k) {
    if (report.results[k].key == record.results[failing[k]].key)
      record.results[failing[k]] = report.results[k];
  }
  return true;
}

std::string Summary(const ScheduleRunRecord& record) {
  size_t done = 0;
  for (const ScriptResult& result : record.results) done += result.ok ? 1 : 0;
  std::string text = record.action + " " + record.target + ": " + std::to_string(done) + " of " +
                     std::to_string(record.results.size()) + " done";
  if (record.enforced) text += ", missed run enforced at start";
  if (record.tries > 1) text += ", " + std::to_string(record.tries) + " tries";
  if (!record.note.empty()) text += ", " + record.note;
  return text;
}

}  // namespace

ScriptRequest RequestForEntry(const ScheduleEntry& entry) {
  ScriptRequest request;
  request.targets = {entry.target};
  request.timeoutSeconds = static_cast<int>(kScheduleRetryWindow.count());
  const ScheduleAction& action = entry.action;
  switch (action.kind) {
    case ScheduleActionKind::kPowerOn:
    case ScheduleActionKind::kPowerOff:
      request.verb = Verb::kPower;
      request.on = action.kind == ScheduleActionKind::kPowerOn;
      break;
    case ScheduleActionKind::kInput:
      request.verb = Verb::kInput;
      request.input = action.input;
      break;
    case ScheduleActionKind::kMuteOn:
    case ScheduleActionKind::kMuteOff:
      request.verb = Verb::kMute;
      request.on = action.kind == ScheduleActionKind::kMuteOn;
      break;
    case ScheduleActionKind::kMessage:
      request.verb = Verb::kMessage;
      request.text = action.text;
      break;
    case ScheduleActionKind::kClear:
      request.verb = Verb::kMessage;
      request.clear = true;
      break;
  }
  return request;
}

ScheduleRunRecord RunScheduleEntry(CConsoleCore& core, const ScheduleEntry& entry,
                                   const DueRun& due, std::time_t now,
                                   const ScheduleRunOptions& options) {
  ScheduleRunRecord record;
  record.entry = entry.name;
  record.target = entry.target;
  record.action = ActionText(entry.action);
  record.at = due.at;
  record.ran = now;
  record.enforced = due.enforced;
  const ScriptRequest request = RequestForEntry(entry);
  const auto windowEnd = Clock::now() + kScheduleRetryWindow;
  const ScriptReport report = AcceptAndRun(
      core, request,
      {.deadline = windowEnd, .linksKnown = options.linksKnown, .connect = options.connect});
  record.results = report.results;
  record.exit = ExitCodeOf(report);
  if (report.exit) {
    record.note = report.errorMessage;
  } else {
    while (record.tries <= kScheduleRetries &&
           RetryFailing(core, request, record, windowEnd, options)) {
    }
    ScriptReport last;
    last.results = record.results;
    record.exit = core.Stopping() ? script_exit::kOwnerBusy : ExitCodeOf(last);
  }
  // The history's subject is a display; this line is the entry's own, naming no display.
  core.Lock()->AppendAlarmHistory("", "Schedule " + entry.name + ": " + Summary(record));
  return record;
}

ScheduleKeeper::ScheduleKeeper(CConsoleCore& core, Options options)
    : m_core(core), m_options(std::move(options)) {
  if (!m_options.clock) m_options.clock = SystemScheduleClock();
  m_options.parallelRuns = std::max<size_t>(1, m_options.parallelRuns);
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

// Entries due in one minute run side by side, as many at once as the keeper allows: each
// waits on its own jobs, and the scheduler keeps their members' exchanges apart.
std::vector<ScheduleRunRecord> ScheduleKeeper::RunAll(const ScheduleTable& table,
                                                      const std::vector<DueRun>& due,
                                                      std::time_t now) {
  std::vector<ScheduleRunRecord> records;
  for (size_t first = 0; first < due.size() && !m_core.Stopping();
       first += m_options.parallelRuns) {
    const size_t end = std::min(due.size(), first + m_options.parallelRuns);
    std::vector<std::future<ScheduleRunRecord>> running;
    for (size_t i = first; i < end; ++i) {
      running.push_back(std::async(std::launch::async, [this, &table, &due, i, now] {
        return RunScheduleEntry(m_core, table.entries[due[i].entry], due[i], now, m_options.run);
      }));
    }
    for (auto& run : running) records.push_back(run.get());
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
