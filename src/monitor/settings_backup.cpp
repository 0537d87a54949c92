#include "monitor/settings_backup.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "console/job_handoff.h"
#include "monitor/backup_codec.h"
#include "monitor/status_decoders.h"
#include "platform/trace.h"
#include "protocol/command_frame.h"

namespace tarnex {
namespace {

constexpr int kBackupSends = 3;
constexpr size_t kNamesShown = 10;

using Ack = std::pair<std::string_view, std::string_view>;
constexpr std::array<Ack, 2> kPowerHistory = {{{"OK00x", "Power Off"}, {"OK01x", "Power On"}}};
constexpr std::array<Ack, 5> kInputHistory = {{
    {"OK02x", "Input Change : AV"},
    {"OK04x", "Input Change : Component"},
    {"OK07x", "Input Change : RGB_PC"},
    {"OK08x", "Input Change : HDMI_DTV"},
    {"OK09x", "Input Change : HDMI_PC"},
}};

// The counter of a single display: 3 more at every fifth key and 1 per key, 96 after the
// last; 100 is set at the end.
int KeyCounter(size_t keysDone) {
  return static_cast<int>((keysDone + 4) / 5 * 3 + keysDone);
}

template <size_t N>
std::optional<std::string_view> HistoryOf(const std::optional<std::string>& reply,
                                          const std::array<Ack, N>& table) {
  if (!reply) return std::nullopt;
  const auto ack = protocol::AckPart(*reply);
  if (!ack) return std::nullopt;
  for (const auto& [acknowledgement, text] : table) {
    if (*ack == acknowledgement) return text;
  }
  return std::nullopt;
}

int SetNumber(const std::string& setId) {
  int number = -1;
  std::from_chars(setId.data(), setId.data() + setId.size(), number, 16);
  return number;
}

// ---- Save ----

class SaveRun {
 public:
  SaveRun(CConsoleCore& core, const CommandTarget& target, int cancelFd)
      : m_core(core), m_target(target), m_cancelFd(cancelFd) {}

  // The reply to the key's query, or none when the display did not answer; the empty text
  // when it answered only odd-length replies.
  std::optional<std::string> Ask(size_t key) {
    const std::string_view query = protocol::kBackupQueries[key];
    for (int send = 1;; ++send) {
      std::optional<std::string> reply = Exchange(query);
      if (!reply || !IsOddLengthReply(*reply)) return reply;
      if (send == kBackupSends) {
        Trace("backup key %zu left empty after %d odd-length replies", key, kBackupSends);
        return std::string();
      }
      Trace("%s", BackupRetryTrace(key));
    }
  }

 private:
  std::optional<std::string> Exchange(std::string_view query) {
    SendOutcome outcome = m_core.Transaction().Send(query, m_target, {.cancelFd = m_cancelFd});
    // The serial line's silence is an empty reply.
    if (!outcome.reply.has_value() || outcome.reply->empty()) return std::nullopt;
    return std::move(outcome.reply);
  }

  CConsoleCore& m_core;
  const CommandTarget& m_target;
  int m_cancelFd;
};

bool SavesOneDisplay(const CommandTarget& target) {
  return target.route == CommandTarget::Route::kDisplay ||
         (target.route == CommandTarget::Route::kSerial && !target.serialGroup &&
          !target.setIds.empty());
}

std::string SubjectOf(CConsoleCore& core, const CommandTarget& target) {
  if (target.route == CommandTarget::Route::kDisplay) return core.Lock()->AddressOf(target.display);
  return "set ID " + (target.setIds.empty() ? std::string() : target.setIds.front());
}

// ---- Restore ----

// "a 01 OK01x" acknowledges "ka 01 01\n"; an "NG" reply, or bytes that are no reply, do not.
bool Acknowledges(std::string_view command, std::string_view reply) {
  const auto ack = protocol::AckPart(reply);
  return ack && ack->starts_with("OK") && command.size() > 1 && reply.front() == command[1];
}

struct RestoreStep {
  size_t key;
  std::string command;
};

// Counts the commands answered, for the "Current Monitor Status" bar: a single display as
// its keys go, a serial member from 0 again, the members of a network group all together.
class RestoreCounter {
 public:
  // Called with the counters at every change.
  using Sink = std::function<void(int current, int total)>;

  RestoreCounter(Sink sink, bool single, size_t steps, size_t inFlight)
      : m_sink(std::move(sink)),
        m_single(single),
        m_steps(std::max<size_t>(steps, 1)),
        m_inFlight(std::max<size_t>(inFlight, 1)) {}

  void MemberStarts() {
    m_answered = 0;
    Show();
  }
  void Answered(size_t key) {
    ++m_answered;
    m_lastKey = key;
    Show();
  }
  void SetTotal(int total) {
    m_total = total;
    m_sink(m_current, m_total);
  }

 private:
  void Show() {
    if (m_single) {
      m_current = m_total = m_answered == 0 ? 0 : KeyCounter(m_lastKey + 1);
    } else {
      m_current =
          static_cast<int>(std::min<size_t>(100, m_answered * 100 / (m_steps * m_inFlight)));
    }
    m_sink(m_current, m_total);
  }

  Sink m_sink;
  bool m_single;
  size_t m_steps;
  size_t m_inFlight;
  size_t m_answered = 0;
  size_t m_lastKey = 0;
  int m_current = 0;
  int m_total = 0;
};

// One member's commands in key order. The replies to the power and input commands write
// their history lines as they arrive, so each line bears the time its change was made. A
// reply that is not the command's acknowledgement (its letter and "OK") counts as refused:
// the display answered but did not take the value.
class RestoreSequence : public MemberSequence {
 public:
  // Called on the thread that runs the sequences, with no lock held.
  using HistorySink = std::function<void(std::string_view line)>;

  RestoreSequence(const std::vector<RestoreStep>& steps, bool ask, RestoreCounter& counter,
                  bool restartsCounter, HistorySink history)
      : m_steps(steps),
        m_ask(ask),
        m_counter(counter),
        m_restartsCounter(restartsCounter),
        m_history(std::move(history)) {}

  std::optional<MemberQuery> Start() override {
    if (!m_ask || m_steps.empty()) return std::nullopt;
    if (m_restartsCounter) m_counter.MemberStarts();
    return QueryAt(0);
  }

  // A serial member that stays silent is asked no more: three seconds per key would keep the
  // line for minutes to no purpose.
  std::optional<MemberQuery> Next(std::optional<std::string> reply) override {
    if (!reply) {
      m_silent = true;
      return std::nullopt;
    }
    const size_t key = m_steps[m_next].key;
    if (!Acknowledges(m_steps[m_next].command, *reply)) ++m_refused;
    std::optional<std::string_view> line;
    if (key == 0) line = HistoryOf(reply, kPowerHistory);
    if (key == 1) line = HistoryOf(reply, kInputHistory);
    if (line) m_history(*line);
    ++m_answered;
    m_counter.Answered(key);
    if (++m_next >= m_steps.size()) return std::nullopt;
    return QueryAt(m_next);
  }

  bool Asked() const { return m_ask; }
  bool Complete() const { return m_answered == m_steps.size(); }
  size_t Refused() const { return m_refused; }
  size_t Steps() const { return m_steps.size(); }

 private:
  std::optional<MemberQuery> QueryAt(size_t index) {
    m_next = index;
    return MemberQuery{m_steps[index].command, false};
  }

  const std::vector<RestoreStep>& m_steps;
  bool m_ask;
  RestoreCounter& m_counter;
  bool m_restartsCounter;
  size_t m_next = 0;
  size_t m_answered = 0;
  size_t m_refused = 0;
  bool m_silent = false;
  HistorySink m_history;
};

struct RestoreMember {
  DisplayId id = kNoDisplay;  // network
  std::string name;           // the address, or "set ID 05"
  std::string historySetId;   // serial: the decimal set number its history lines name
  bool ask = true;
};

// The network members in table order: a display matched by two member keys is restored
// twice, one listing after the other.
std::vector<RestoreMember> NetworkMembers(CConsoleCore& core, const CommandTarget& target) {
  std::vector<DisplayId> ids =
      target.route == CommandTarget::Route::kDisplay ? std::vector{target.display} : target.members;
  auto state = core.Lock();
  std::vector<std::pair<int, DisplayId>> rows;
  for (DisplayId id : ids) {
    const int row = state->RowOf(id);
    if (row >= 0) rows.emplace_back(row, id);
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<RestoreMember> members;
  for (const auto& [row, id] : rows) members.push_back({id, state->DisplayAddress(row), "", true});
  return members;
}

// A serial group's set IDs that are open; the one selected set ID is always asked.
std::vector<RestoreMember> SerialMembers(CConsoleCore& core, const CommandTarget& target) {
  std::vector<RestoreMember> members;
  auto state = core.Lock();
  for (const std::string& setId : target.setIds) {
    const int number = SetNumber(setId);
    const bool open = number >= 0 && number < kSerialSetIds &&
                      state->Doc().m_docSerialConnectState[static_cast<size_t>(number)] == 1;
    members.push_back({kNoDisplay, "set ID " + setId,
                       target.serialGroup ? std::to_string(number) : target.historySetId,
                       !target.serialGroup || open});
  }
  return members;
}

std::vector<RestoreStep> StepsOf(const BackupValues& values, std::vector<size_t>& skipped) {
  std::vector<RestoreStep> steps;
  for (size_t key = 0; key < values.size(); ++key) {
    if (auto command = RestoreCommand(key, values[key])) {
      steps.push_back({key, std::move(*command)});
    } else {
      skipped.push_back(key);
    }
  }
  return steps;
}

void NoteNotRestored(RestoreReport& report, const std::string& name, const std::string& why) {
  const std::string entry = name + " (" + why + ")";
  if (std::find(report.notRestored.begin(), report.notRestored.end(), entry) ==
      report.notRestored.end()) {
    report.notRestored.push_back(entry);
  }
}

std::string JoinCapped(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size() && i < kNamesShown; ++i) {
    if (i > 0) text += ", ";
    text += items[i];
  }
  if (items.size() > kNamesShown) {
    text += " and " + std::to_string(items.size() - kNamesShown) + " more";
  }
  return text;
}

bool RestoresSomething(const CommandTarget& target) {
  return target.route == CommandTarget::Route::kSerial ||
         target.route == CommandTarget::Route::kDisplay ||
         target.route == CommandTarget::Route::kNetworkGroup;
}

// How long the backup worker waits for a save or a restore: the job's turn behind the operator's
// work on the same displays, then every command of the member restored last answered at its
// time-out. Network members go side by side, but a display listed twice takes its listings in turn;
// the serial line takes its members in turn.
std::chrono::steady_clock::duration BackupWait(const CommandTarget& target) {
  constexpr auto kTurnWait = std::chrono::minutes(2);
  constexpr auto kCommandWait = std::chrono::seconds(10);  // three receives of 3 s, and pauses
  size_t turns = 1;
  if (target.route == CommandTarget::Route::kSerial) {
    turns = std::max<size_t>(1, target.setIds.size());
  } else {
    std::map<DisplayId, size_t> listings;
    for (DisplayId id : target.members) turns = std::max(turns, ++listings[id]);
  }
  return kTurnWait + kCommandWait * static_cast<long>(turns * protocol::kBackupQueryCount);
}

std::chrono::steady_clock::duration WaitWithin(
    const CommandTarget& target, std::optional<std::chrono::steady_clock::time_point> until) {
  const auto own = BackupWait(target);
  if (!until) return own;
  const auto left = *until - std::chrono::steady_clock::now();
  return std::max(std::chrono::steady_clock::duration::zero(), std::min(own, left));
}

void NoteRestoreOutcomes(RestoreReport& report, const std::vector<RestoreMember>& members,
                         const std::vector<std::unique_ptr<RestoreSequence>>& sequences,
                         const std::vector<SequenceOutcome>& outcomes, bool serial) {
  for (size_t i = 0; i < outcomes.size(); ++i) {
    report.cancelled = report.cancelled || outcomes[i].cancelled;
    const bool down = serial ? !sequences[i]->Asked() : !outcomes[i].up;
    if (down) {
      NoteNotRestored(report, members[i].name, "down");
    } else if (!sequences[i]->Complete()) {
      NoteNotRestored(report, members[i].name, "silent");
    } else if (sequences[i]->Refused() > 0) {
      NoteNotRestored(report, members[i].name,
                      "refused " + std::to_string(sequences[i]->Refused()) + " of " +
                          std::to_string(sequences[i]->Steps()) + " settings");
    }
  }
}

// The restore itself, on a console worker. `cancelFd` ends its exchanges early.
RestoreReport RunRestore(CConsoleCore& core, const CommandTarget& target,
                         const BackupValues& values, const RestoreCounter::Sink& sink,
                         int cancelFd) {
  RestoreReport report;
  const bool serial = target.route == CommandTarget::Route::kSerial;
  const std::vector<RestoreStep> steps = StepsOf(values, report.skippedKeys);
  const std::vector<RestoreMember> members =
      serial ? SerialMembers(core, target) : NetworkMembers(core, target);
  const bool single = !target.IsGroup();
  RestoreCounter counter(sink, single, steps.size(), serial ? 1 : members.size());
  std::vector<std::unique_ptr<RestoreSequence>> sequences;
  std::vector<MemberSequence*> running;
  CommandTarget ordered = target;
  ordered.members.clear();
  for (const RestoreMember& member : members) {
    sequences.push_back(std::make_unique<RestoreSequence>(
        steps, member.ask, counter, serial, [&core, &member, serial](std::string_view line) {
          auto state = core.Lock();
          if (serial) {
            state->AppendSerialHistory(member.historySetId, line);
          } else {
            state->AppendHistoryFor(member.id, line);
          }
        }));
    running.push_back(sequences.back().get());
    ordered.members.push_back(member.id);
  }
  const SendOptions options{.cancelFd = cancelFd, .shortSerialWait = false};
  const std::vector<SequenceOutcome> outcomes =
      core.Transaction().RunSequences(ordered, running, options, [&](size_t done) {
        if (!single) counter.SetTotal(GroupProgress(done, members.size()));
      });
  NoteRestoreOutcomes(report, members, sequences, outcomes, serial);
  report.cancelled = report.cancelled || core.Stopping();
  return report;
}
}  // namespace

void BackupProgress::Set(int current, int total) {
  m_current.store(current, std::memory_order_relaxed);
  m_total.store(total, std::memory_order_relaxed);
  if (m_observer) m_observer(current, total);
}

// The display's values, read as a console job so the reads take their turns with the
// operator's; none when it stopped answering.
std::optional<BackupValues> ReadValues(CConsoleCore& core, const CommandTarget& target,
                                       JobHandoff& handoff, BackupProgress& progress) {
  SaveRun run(core, target, handoff.CancelFd());
  BackupValues values{};
  for (size_t key = 0; key < values.size(); ++key) {
    const int counter = KeyCounter(key + 1);
    handoff.Reach([&] { progress.Set(counter, counter); });
    const std::optional<std::string> reply = run.Ask(key);
    if (!reply) return std::nullopt;
    values[key] = BackupValueFromReply(key, *reply).value_or("");
  }
  return values;
}

SettingsRead ReadSettings(CConsoleCore& core, const CommandTarget& target, BackupProgress& progress,
                          std::optional<std::chrono::steady_clock::time_point> until) {
  SettingsRead read;
  SaveOutcome& outcome = read.outcome;
  if (!SavesOneDisplay(target)) return read;
  outcome.subject = SubjectOf(core, target);
  progress.Set(0, 0);
  // The job keeps its own copy of the target: it may outlive this wait.
  const std::optional<std::optional<BackupValues>> values =
      RunAsJob<std::optional<BackupValues>>(core, target.Keys(), WaitWithin(target, until),
                                            [&core, target, &progress](JobHandoff& handoff) {
                                              return ReadValues(core, target, handoff, progress);
                                            });
  if (core.Stopping()) {
    outcome.result = SaveResult::kCancelled;
  } else if (!values) {
    outcome.result = SaveResult::kUnfinished;
  } else if (!*values) {
    outcome.result = SaveResult::kSilent;
  } else {
    read.values = **values;
    outcome.emptyKeys = static_cast<int>(std::count_if(
        read.values.begin(), read.values.end(), [](const auto& value) { return value.empty(); }));
    outcome.result =
        outcome.emptyKeys >= kBackupEmptyLimit ? SaveResult::kIncomplete : SaveResult::kSaved;
  }
  return read;
}

SaveOutcome SaveSettings(CConsoleCore& core, const CommandTarget& target, const std::string& path,
                         BackupProgress& progress) {
  SettingsRead read = ReadSettings(core, target, progress);
  read.outcome.path = path;
  if (read.outcome.result == SaveResult::kSaved && !WriteBackupFile(path, read.values))
    read.outcome.result = SaveResult::kUnwritable;
  if (SavesOneDisplay(target)) progress.Set(100, 100);
  return read.outcome;
}

std::string SaveMessage(const SaveOutcome& outcome) {
  const std::string failed = "Save Configuration failed: ";
  switch (outcome.result) {
    case SaveResult::kSaved:
      return "Finish Save Configuration";
    case SaveResult::kNoTarget:
      return failed + "no display is selected";
    case SaveResult::kSilent:
      return failed + outcome.subject + " did not answer";
    case SaveResult::kIncomplete:
      return failed + outcome.subject + " gave no value for " + std::to_string(outcome.emptyKeys) +
             " of " + std::to_string(protocol::kBackupQueryCount) + " settings";
    case SaveResult::kUnwritable:
      return failed + outcome.path + " cannot be written";
    case SaveResult::kUnfinished:
      return failed + outcome.subject + " was not read in time";
    case SaveResult::kCancelled:
      break;
  }
  return {};
}

RestoreReport RestoreSettings(CConsoleCore& core, const CommandTarget& target,
                              const BackupValues& values, BackupProgress& progress,
                              std::optional<std::chrono::steady_clock::time_point> until) {
  progress.Set(0, 0);
  if (!RestoresSomething(target)) {
    RestoreReport nothing;
    nothing.noTarget = true;
    return nothing;
  }
  // The job keeps its own copies: it may outlive this wait. The progress is the caller's, so it
  // is reached only while the caller still waits.
  std::optional<RestoreReport> report = RunAsJob<RestoreReport>(
      core, target.Keys(), WaitWithin(target, until),
      [&core, target, values, &progress](JobHandoff& handoff) {
        const RestoreCounter::Sink sink = [&handoff, &progress](int current, int total) {
          handoff.Reach([&] { progress.Set(current, total); });
        };
        return RunRestore(core, target, values, sink, handoff.CancelFd());
      });
  if (!report) {
    report.emplace();
    report->cancelled = core.Stopping();
    report->unfinished = !report->cancelled;
  }
  progress.Set(100, 100);
  return std::move(*report);
}

std::string RestoreMessage(const RestoreReport& report) {
  if (report.cancelled || report.noTarget) return {};
  if (report.unfinished) return "Configuration Setting incomplete\nNot finished in time";
  if (report.notRestored.empty() && report.skippedKeys.empty()) {
    return "Finish Configuration Setting";
  }
  std::string text = "Configuration Setting incomplete";
  if (!report.notRestored.empty()) text += "\nNot restored: " + JoinCapped(report.notRestored);
  if (!report.skippedKeys.empty()) {
    std::vector<std::string> keys;
    for (size_t key : report.skippedKeys) keys.push_back(std::to_string(key));
    text += "\nNot sent for want of a value: keys " + JoinCapped(keys);
  }
  return text;
}

}  // namespace tarnex
