#include <poll.h>

#include <charconv>

#include "scripting/schedule_runner.h"
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

// Waits on the console's stop: false when it stopped.
bool PauseFor(CConsoleCore& core, std::chrono::milliseconds pause) {
  pollfd stop{core.StopFd(), POLLIN, 0};
  ::poll(&stop, 1, static_cast<int>(pause.count()));
  return !core.Stopping();
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

ScheduleRunRecord RecordFor(const ScheduleEntry& entry, const DueRun& due, std::time_t now) {
  ScheduleRunRecord record;
  record.entry = entry.name;
  record.target = entry.target;
  record.action = ActionText(entry.action);
  record.at = due.at;
  record.ran = now;
  record.enforced = due.enforced;
  return record;
}

// A member of one of the entries, by where its result is kept.
struct Member {
  size_t record;
  size_t result;
};

class Batch {
 public:
  Batch(CConsoleCore& core, const ScheduleRunOptions& options)
      : m_core(core), m_options(options), m_windowEnd(Clock::now() + kScheduleRetryWindow) {}

  ScriptRunOptions RunOptions(std::shared_ptr<const FleetDirectory> directory) const {
    return {.deadline = m_windowEnd,
            .linksKnown = m_options.linksKnown,
            .connect = m_options.connect,
            .schedules = {},
            .directory = std::move(directory)};
  }

  // The first try, all targets in one request; each record takes its own members' results.
  void First(ScriptRequest request, std::vector<ScheduleRunRecord>& records,
             const std::vector<size_t>& counts, std::shared_ptr<const FleetDirectory> directory) {
    const ScriptReport report = AcceptAndRun(m_core, request, RunOptions(std::move(directory)));
    size_t next = 0;
    for (size_t r = 0; r < records.size(); ++r) {
      for (size_t k = 0; k < counts[r] && next < report.results.size(); ++k)
        records[r].results.push_back(report.results[next++]);
      if (report.exit) records[r].note = report.errorMessage;
    }
  }

  // Those still failing, of every record, get another try in one request.
  bool Retry(const ScriptRequest& request, std::vector<ScheduleRunRecord>& records) {
    const bool serial = m_core.Lock()->Doc().m_docCommunicationSelect == kSerialMode;
    std::vector<Member> failing;
    for (size_t r = 0; r < records.size(); ++r) {
      for (size_t i = 0; i < records[r].results.size(); ++i) {
        if (Retryable(records[r].results[i])) failing.push_back({r, i});
      }
    }
    if (failing.empty() || Clock::now() + m_options.retryPause >= m_windowEnd) return false;
    if (!PauseFor(m_core, m_options.retryPause)) return false;
    ScriptRequest again = request;
    again.targets.clear();
    for (const Member& member : failing)
      again.targets.push_back(MemberName(records[member.record].results[member.result], serial));
    const ScriptReport report = AcceptAndRun(m_core, again, RunOptions(nullptr));
    std::vector<bool> tried(records.size(), false);
    // A member that left meanwhile is reported as the earlier try left it.
    for (size_t k = 0; k < failing.size() && k < report.results.size(); ++k) {
      ScriptResult& kept = records[failing[k].record].results[failing[k].result];
      if (report.results[k].key == kept.key) kept = report.results[k];
      tried[failing[k].record] = true;
    }
    for (size_t r = 0; r < records.size(); ++r) records[r].tries += tried[r] ? 1 : 0;
    return true;
  }

 private:
  CConsoleCore& m_core;
  const ScheduleRunOptions& m_options;
  Clock::time_point m_windowEnd;
};

// "Evening: 2 of 3 displays failed: 127.0.0.5, 127.0.0.6", bounded for a mail line.
std::string FailureText(const ScheduleRunRecord& record) {
  std::string failed;
  size_t count = 0;
  for (const ScriptResult& result : record.results) {
    if (result.ok) continue;
    ++count;
    if (failed.size() < 400) failed += (failed.empty() ? "" : ", ") + result.key;
  }
  if (count == 0) return {};
  return record.entry + ": " + std::to_string(count) + " of " +
         std::to_string(record.results.size()) + " displays failed: " + failed;
}

void Finish(CConsoleCore& core, ScheduleRunRecord& record, bool runWide) {
  ScriptReport last;
  last.results = record.results;
  if (!runWide) record.exit = core.Stopping() ? script_exit::kOwnerBusy : ExitCodeOf(last);
  auto state = core.Lock();
  // The history's subject is a display; this line is the entry's own, naming no display.
  state->AppendAlarmHistory("", "Schedule " + record.entry + ": " + Summary(record));
  // One mail for the run, however many members failed; none for a close.
  const std::string failed = FailureText(record);
  if (!failed.empty() && !core.Stopping()) state->SendAlarmMail(AlarmKind::kScheduleFailed, failed);
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

std::vector<ScheduleRunRecord> RunScheduleEntries(CConsoleCore& core,
                                                  const std::vector<const ScheduleEntry*>& entries,
                                                  const std::vector<DueRun>& dues, std::time_t now,
                                                  const ScheduleRunOptions& options) {
  std::vector<ScheduleRunRecord> records(entries.size());
  if (entries.empty()) return records;
  std::shared_ptr<const FleetDirectory> directory = options.directory;
  if (!directory) {
    auto state = core.Lock();
    directory =
        std::make_shared<const FleetDirectory>(DirectoryOf(core, state, options.linksKnown));
  }
  Batch batch(core, options);
  // Each entry's names resolved alone first: one that names nothing is refused on its own and
  // does not hold back the others.
  ScriptRequest request = RequestForEntry(*entries.front());
  request.targets.clear();
  std::vector<ScheduleRunRecord> joined;
  std::vector<size_t> counts;
  std::vector<size_t> places;  // where each joined record goes among `records`
  for (size_t i = 0; i < entries.size(); ++i) {
    ScheduleRunRecord record = RecordFor(*entries[i], dues[i], now);
    const ResolvedTargets resolved = TargetFromNames(*directory, {entries[i]->target});
    if (!resolved.notFound.empty() || !resolved.ambiguous.empty() || !resolved.malformed.empty()) {
      ScriptRequest alone = RequestForEntry(*entries[i]);
      const ScriptReport report = AcceptAndRun(core, alone, batch.RunOptions(directory));
      record.exit = ExitCodeOf(report);
      record.note = report.errorMessage;
      Finish(core, record, true);
      records[i] = std::move(record);
      continue;
    }
    request.targets.push_back(entries[i]->target);
    counts.push_back(resolved.targets.size());
    places.push_back(i);
    joined.push_back(std::move(record));
  }
  if (joined.empty()) return records;
  batch.First(request, joined, counts, directory);
  for (int retry = 0; retry < kScheduleRetries && batch.Retry(request, joined); ++retry) {
  }
  for (size_t k = 0; k < joined.size(); ++k) {
    Finish(core, joined[k], false);
    records[places[k]] = std::move(joined[k]);
  }
  return records;
}

ScheduleRunRecord RunScheduleEntry(CConsoleCore& core, const ScheduleEntry& entry,
                                   const DueRun& due, std::time_t now,
                                   const ScheduleRunOptions& options) {
  return RunScheduleEntries(core, {&entry}, {due}, now, options).front();
}

}  // namespace tarnex
