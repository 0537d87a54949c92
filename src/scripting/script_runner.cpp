#include "scripting/script_runner.h"

#include <poll.h>

#include <algorithm>
#include <memory>

#include "console/command_transaction.h"
#include "console/job_handoff.h"
#include "console/link_record.h"
#include "monitor/control_tables.h"
#include "monitor/message_frames.h"
#include "monitor/settings_backup.h"
#include "protocol/command_catalogue.h"
#include "protocol/command_frame.h"
#include "scripting/script_steps.h"

namespace tarnex {
namespace {

using Verb = ScriptRequest::Verb;
using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kPowerPollPeriod{2};
// What the message dialog starts with: bottom centre, white.
constexpr int kMessageAlignment = 7;
constexpr int kMessageColour = 6;

struct Run {
  CConsoleCore& core;
  const ScriptRequest& request;
  const ScriptRunOptions& options;
  std::vector<NamedTarget> targets;
  bool serial = false;
};

ScriptResult ResultFor(const NamedTarget& target) {
  ScriptResult result;
  result.key = target.key;
  result.label = target.name;
  result.setId = target.setNumber >= 0
                     ? protocol::DeriveSetId(std::to_string(target.setNumber)).value_or("")
                     : "01";
  return result;
}

CommandTarget TargetOfRun(const Run& run, const std::vector<size_t>& positions) {
  CommandTarget target;
  if (run.serial) {
    target.route = CommandTarget::Route::kSerial;
    target.serialGroup = true;
    for (size_t i : positions) {
      target.setIds.push_back(
          protocol::DeriveSetId(std::to_string(run.targets[i].setNumber)).value_or(""));
    }
  } else {
    target.route = CommandTarget::Route::kNetworkGroup;
    for (size_t i : positions) target.members.push_back(run.targets[i].id);
  }
  return target;
}

void AppendHistory(const CConsoleCore::State& state, const Run& run, const CommandTarget& target,
                   size_t member, size_t position, std::string_view line) {
  if (run.serial) {
    state->AppendSerialHistory(target.SerialName(member), line);
  } else {
    state->AppendHistoryFor(run.targets[position].id, line);
  }
}

// The line a display's reply leaves in the history, as a group send leaves it.
std::optional<std::string> HistoryOf(const Run& run, const ScriptSteps& steps) {
  switch (run.request.verb) {
    case Verb::kPower:
      return run.request.on ? "Power On" : "Power Off";
    case Verb::kInput:
      if (steps.Replies().size() == 2 && Acknowledged(steps.Replies()[1]))
        return steps.HistoryLine();
      return std::nullopt;
    case Verb::kMessage:
      if (run.request.clear) break;
      return steps.Finished() ? std::optional<std::string>("Send Message to Monitor")
                              : std::nullopt;
    default:
      break;
  }
  if (steps.Replies().empty() || !steps.Replies().back()) return std::nullopt;
  const auto text = GroupHistoryText(*steps.Replies().back());
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

void FillValues(const Run& run, const ScriptSteps& steps, ScriptResult& result) {
  const auto& replies = steps.Replies();
  const auto reply = [&](size_t i) { return i < replies.size() ? replies[i] : std::nullopt; };
  switch (run.request.verb) {
    case Verb::kStatus:
      result.values["power"].word = PowerWord(reply(0));
      result.values["input"].word = InputWord(reply(1));
      result.values["mute"].word = MuteWord(reply(2));
      break;
    case Verb::kSend:
      if (reply(0)) result.values["reply"].word = std::string(protocol::ReplyText(*reply(0)));
      break;
    default:
      break;
  }
}

// Why a PJLink display's last answer fails its result; none when it does not.
const char* PjlinkFailure(LinkAnswer answer) {
  switch (answer) {
    case LinkAnswer::kNotSent:
      return "Not available over PJLink";
    case LinkAnswer::kAuthFailed:
      return "Password rejected";
    case LinkAnswer::kBusy:
      return "the display is busy (warming up, cooling down or in standby)";
    case LinkAnswer::kUndefined:
      return "the display does not know this command";
    case LinkAnswer::kOutOfRange:
      return "the display refused the setting";
    case LinkAnswer::kFailure:
      return "the display reports a failure";
    case LinkAnswer::kNone:
    case LinkAnswer::kAnswered:
      break;
  }
  return nullptr;
}

// What one display's steps came to.
void Judge(const Run& run, const SequenceOutcome& outcome, const ScriptSteps& steps,
           ScriptResult& result) {
  const auto& replies = steps.Replies();
  const bool power = run.request.verb == Verb::kPower;
  if (outcome.cancelled) return result.Fail(ScriptError::kCancelled, "the run was stopped");
  if (!outcome.up) return result.Fail(ScriptError::kNoReply, "the display's link is down");
  if (outcome.givenUp || outcome.skipped)
    return result.Fail(ScriptError::kNoReply, "the display stopped answering");
  if (steps.Unsupported())
    return result.Fail(ScriptError::kUnsupported, "this kind of display has no such input");
  if (const char* why = PjlinkFailure(outcome.answer)) {
    return result.Fail(
        outcome.answer == LinkAnswer::kNotSent ? ScriptError::kUnsupported : ScriptError::kRefused,
        why);
  }
  FillValues(run, steps, result);
  // A PJLink display answers its power commands; a native one is never read.
  if (power && outcome.answer == LinkAnswer::kNone) {
    result.ok = result.acked = true;
    return;
  }
  if (!steps.Finished() || replies.empty() || !replies.back())
    return result.Fail(ScriptError::kNoReply, "the display did not answer");
  const bool message = run.request.verb == Verb::kMessage && !run.request.clear;
  if (!message && Refused(replies.back()))
    return result.Fail(ScriptError::kRefused, "the display refused the command");
  result.acked = message || Acknowledged(replies.back());
  result.ok = true;
}

struct StepsRun {
  std::vector<std::unique_ptr<ScriptSteps>> steps;
  std::vector<SequenceOutcome> outcomes;
  std::vector<bool> gone;
};

// Runs the steps of the displays at `positions` as one leased job, and records their history
// in member order; none when the deadline came first or the owner closed.
std::optional<StepsRun> RunSteps(const Run& run, const std::vector<size_t>& positions,
                                 const std::function<ScriptSteps()>& make) {
  auto shared = std::make_shared<StepsRun>();
  for (size_t i = 0; i < positions.size(); ++i)
    shared->steps.push_back(std::make_unique<ScriptSteps>(make()));
  CommandTarget target = TargetOfRun(run, positions);
  const auto wait = std::max(Clock::duration::zero(), run.options.deadline - Clock::now());
  CConsoleCore& core = run.core;
  auto done = RunAsJob<bool>(
      core, target.Keys(), wait, [&core, &run, shared, target, positions](JobHandoff& handoff) {
        std::vector<MemberSequence*> sequences;
        for (auto& steps : shared->steps) sequences.push_back(steps.get());
        shared->outcomes =
            core.Transaction().RunSequences(target, sequences, {.cancelFd = handoff.CancelFd()});
        // `run` lives as long as the poster waits: Reach holds the poster while it is used.
        handoff.Reach([&] {
          auto state = core.Lock();
          for (size_t i = 0; i < positions.size(); ++i) {
            state->LetOthersIn();
            const bool gone = !run.serial && state->RowOf(run.targets[positions[i]].id) < 0;
            shared->gone.push_back(gone);
            const SequenceOutcome& outcome = shared->outcomes[i];
            if (gone || !outcome.up || outcome.givenUp || outcome.skipped || outcome.cancelled)
              continue;
            if (const auto line = HistoryOf(run, *shared->steps[i]))
              AppendHistory(state, run, target, i, positions[i], *line);
          }
        });
        return true;
      });
  if (!done || shared->gone.size() != positions.size()) return std::nullopt;
  return std::move(*shared);
}

std::vector<MemberQuery> QueriesOf(const ScriptRequest& request) {
  const auto one = [](std::string_view command, bool power = false) {
    return std::vector<MemberQuery>{{.command = std::string(command), .power = power}};
  };
  switch (request.verb) {
    case Verb::kStatus:
      return {{.command = std::string(protocol::query::kPower)},
              {.command = std::string(protocol::query::kInputSelect)},
              {.command = std::string(protocol::query::kScreenMute)}};
    case Verb::kPower:
      return one(request.on ? protocol::command::kPowerOn : protocol::command::kPowerOff, true);
    case Verb::kMute:
      return one(control::kMuteCommands[request.on ? 1 : 0]);
    case Verb::kSend:
      return one(request.command + "\n");
    case Verb::kMessage: {
      if (request.clear) return one(kHideMessage);
      std::vector<MemberQuery> frames;
      for (std::string& frame : MessageFrames(request.text, kMessageAlignment, kMessageColour))
        frames.push_back({.command = std::move(frame)});
      return frames;
    }
    default:
      return {};
  }
}

void MarkPending(std::vector<ScriptResult>& results, const std::vector<size_t>& positions,
                 bool stopping) {
  for (size_t i : positions) {
    if (stopping) {
      results[i].Fail(ScriptError::kCancelled, "the owner closed before the display's turn");
    } else {
      results[i].Fail(ScriptError::kBusy, "not done within the time-out");
    }
  }
}

std::vector<size_t> AllPositions(const Run& run) {
  std::vector<size_t> positions(run.targets.size());
  for (size_t i = 0; i < positions.size(); ++i) positions[i] = i;
  return positions;
}

void JudgeAll(const Run& run, const std::vector<size_t>& positions, const StepsRun& done,
              ScriptReport& report) {
  for (size_t i = 0; i < positions.size(); ++i) {
    ScriptResult& result = report.results[positions[i]];
    if (done.gone[i]) {
      result.Fail(ScriptError::kGone, "the display left the table before its turn");
    } else {
      Judge(run, done.outcomes[i], *done.steps[i], result);
    }
  }
}

bool Stopped(const Run& run) {
  return run.core.Stopping();
}

// Sleeps until `until`, or less when the owner closes.
void PauseUntil(const Run& run, Clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
  if (left.count() <= 0) return;
  pollfd stop{run.core.StopFd(), POLLIN, 0};
  ::poll(&stop, 1, static_cast<int>(left.count()));
}

// Power is never confirmed by its reply; the state is asked every two seconds until each
// display reports it, off the workers (the pauses are this thread's).
void WaitForPower(const Run& run, ScriptReport& report) {
  const std::string wanted = run.request.on ? "on" : "off";
  std::vector<size_t> pending;
  for (size_t i = 0; i < report.results.size(); ++i) {
    if (report.results[i].ok) pending.push_back(i);
  }
  while (!pending.empty() && !Stopped(run)) {
    const auto next = Clock::now() + kPowerPollPeriod;
    if (next >= run.options.deadline) {
      PauseUntil(run, run.options.deadline);
      report.timedOut = true;
      return;
    }
    PauseUntil(run, next);
    const auto done = RunSteps(run, pending, [] {
      return ScriptSteps({{.command = std::string(protocol::query::kPower)}});
    });
    if (!done) break;
    std::vector<size_t> still;
    for (size_t i = 0; i < pending.size(); ++i) {
      ScriptResult& result = report.results[pending[i]];
      const auto& replies = done->steps[i]->Replies();
      const std::string word = replies.empty() ? "unknown" : PowerWord(replies.front());
      result.values["power"].word = word;
      if (done->gone[i]) {
        result.Fail(ScriptError::kGone, "the display left the table while it was awaited");
      } else if (word != wanted) {
        still.push_back(pending[i]);
      }
    }
    pending = std::move(still);
  }
  if (!pending.empty()) {
    if (Stopped(run)) {
      MarkPending(report.results, pending, true);
    } else {
      report.timedOut = true;
    }
  }
}

void RunStepsVerb(const Run& run, ScriptReport& report) {
  const std::vector<size_t> positions = AllPositions(run);
  const std::vector<MemberQuery> queries = QueriesOf(run.request);
  const bool frames = run.request.verb == Verb::kMessage && !run.request.clear;
  const auto done = RunSteps(run, positions, [&] {
    return run.request.verb == Verb::kInput ? ScriptSteps::ForInput(run.request.input)
                                            : ScriptSteps(queries, frames);
  });
  if (!done) {
    MarkPending(report.results, positions, Stopped(run));
    report.timedOut = !Stopped(run);
    return;
  }
  JudgeAll(run, positions, *done, report);
  if (run.request.verb == Verb::kPower && run.request.wait) WaitForPower(run, report);
}

// One display as a single target, as the Settings Backup dialog addresses it.
CommandTarget SingleTarget(const Run& run, size_t position) {
  const NamedTarget& named = run.targets[position];
  CommandTarget target;
  if (!run.serial) {
    target.route = CommandTarget::Route::kDisplay;
    target.display = named.id;
    return target;
  }
  target.route = CommandTarget::Route::kSerial;
  target.setIds = {protocol::DeriveSetId(std::to_string(named.setNumber)).value_or("")};
  target.historySetId = std::to_string(named.setNumber);
  target.serialId = named.setNumber;
  return target;
}

void RunBackup(const Run& run, ScriptReport& report) {
  BackupProgress progress;
  SettingsRead read = ReadSettings(run.core, SingleTarget(run, 0), progress, run.options.deadline);
  ScriptResult& result = report.results.front();
  switch (read.outcome.result) {
    case SaveResult::kSaved:
      result.ok = result.acked = true;
      result.values["empty_keys"].number = read.outcome.emptyKeys;
      result.values["file"].word = run.request.file;
      report.values = std::move(read.values);
      break;
    case SaveResult::kIncomplete:
      result.Fail(ScriptError::kNoReply, std::to_string(read.outcome.emptyKeys) +
                                             " settings were not answered; nothing was written");
      break;
    case SaveResult::kUnfinished:
      report.timedOut = true;
      result.Fail(ScriptError::kBusy, "the reads did not end in time");
      break;
    case SaveResult::kCancelled:
      result.Fail(ScriptError::kCancelled, "the owner closed during the reads");
      break;
    default:
      result.Fail(ScriptError::kNoReply, "the display stopped answering");
      break;
  }
}

// A restore names each display it could not restore as "<subject> (<why>)".
void RunRestore(const Run& run, ScriptReport& report) {
  const std::vector<size_t> positions = AllPositions(run);
  BackupProgress progress;
  const RestoreReport restore = RestoreSettings(
      run.core, TargetOfRun(run, positions), *run.request.values, progress, run.options.deadline);
  for (size_t i = 0; i < positions.size(); ++i) {
    ScriptResult& result = report.results[i];
    const NamedTarget& named = run.targets[i];
    const std::string subject =
        run.serial ? "set ID " + SingleTarget(run, i).setIds.front() : named.key;
    const auto failed =
        std::find_if(restore.notRestored.begin(), restore.notRestored.end(),
                     [&](const std::string& entry) { return entry.starts_with(subject + " ("); });
    if (restore.cancelled) {
      result.Fail(ScriptError::kCancelled, "the owner closed during the restore");
    } else if (restore.unfinished) {
      report.timedOut = true;
      result.Fail(ScriptError::kBusy, "the restore did not end in time");
    } else if (failed != restore.notRestored.end()) {
      const std::string why =
          failed->substr(subject.size() + 2, failed->size() - subject.size() - 3);
      result.Fail(why.starts_with("refused") ? ScriptError::kRefused : ScriptError::kNoReply, why);
    } else {
      result.ok = result.acked = true;
    }
  }
}

// A direct run checked none of the line's set IDs, as the console does at its start: the
// ones a script names are taken as there to be asked, not passed over as closed.
void OpenNamedSetIds(const Run& run) {
  auto state = run.core.Lock();
  for (const NamedTarget& target : run.targets) {
    if (target.setNumber >= 0 && target.setNumber < kSerialSetIds)
      state->Doc().m_docSerialConnectState[static_cast<size_t>(target.setNumber)] = 1;
  }
}

void RunList(const Run& run, const FleetDirectory& directory, ScriptReport& report) {
  auto state = run.core.Lock();
  for (size_t i = 0; i < directory.displays.size(); ++i) {
    const FleetDirectory::Display& display = directory.displays[i];
    ScriptResult result = ResultFor({display.id, display.setNumber, display.key, display.name});
    result.ok = true;
    auto& groups = result.values["groups"].words.emplace();
    for (const FleetDirectory::Group& group : directory.groups) {
      if (std::find(group.members.begin(), group.members.end(), i) != group.members.end())
        groups.push_back(group.name);
    }
    std::string link = "unknown";
    if (run.options.linksKnown && !directory.serial) {
      const int row = state->RowOf(display.id);
      link =
          row >= 0 && state->Doc().m_docConnectState[static_cast<size_t>(row)] == 1 ? "up" : "down";
    }
    result.values["link"].word = link;
    report.results.push_back(std::move(result));
  }
}

std::string Joined(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

// Every name is resolved before anything is sent: a request that names one thing wrongly
// changes nothing.
bool Refuse(const ResolvedTargets& resolved, ScriptReport& report) {
  if (!resolved.malformed.empty() || !resolved.ambiguous.empty()) {
    report.exit = script_exit::kUsage;
    report.errorCode = "usage";
    report.errorMessage = resolved.malformed.empty()
                              ? "ambiguous target " + Joined(resolved.ambiguous)
                              : "malformed target " + Joined(resolved.malformed);
    return true;
  }
  if (resolved.notFound.empty()) return false;
  report.exit = script_exit::kNotFound;
  report.errorCode = "not_found";
  report.errorMessage = "not found: " + Joined(resolved.notFound);
  return true;
}

}  // namespace

ScriptReport AcceptAndRun(CConsoleCore& core, const ScriptRequest& request,
                          const ScriptRunOptions& options) {
  ScriptReport report;
  FleetDirectory own;
  ResolvedTargets resolved;
  if (!options.directory) {
    auto state = core.Lock();
    own = DirectoryOf(core, state, options.linksKnown);
  }
  const FleetDirectory& directory = options.directory ? *options.directory : own;
  resolved = TargetFromNames(directory, request.targets);
  Run run{core, request, options, std::move(resolved.targets), directory.serial};
  if (request.verb == Verb::kList) {
    RunList(run, directory, report);
    return report;
  }
  if (request.verb == Verb::kSchedule) {
    RunScheduleCommand(core, request.schedule, options.schedules, report);
    return report;
  }
  if (Refuse(resolved, report)) return report;
  for (const NamedTarget& target : run.targets) report.results.push_back(ResultFor(target));
  if (options.connect) options.connect(run.targets);
  if (run.serial && !options.linksKnown) OpenNamedSetIds(run);
  switch (request.verb) {
    case Verb::kBackup:
      RunBackup(run, report);
      break;
    case Verb::kRestore:
      RunRestore(run, report);
      break;
    default:
      RunStepsVerb(run, report);
      break;
  }
  // Work the owner's close cut short is no success: the script must hear its owner went.
  if (Stopped(run) && !report.exit &&
      std::any_of(report.results.begin(), report.results.end(), [](const ScriptResult& result) {
        return result.error == ScriptError::kCancelled;
      })) {
    report.exit = script_exit::kOwnerBusy;
    report.errorCode = "owner_gone";
    report.errorMessage = "the owner closed before the request was done";
  }
  return report;
}

}  // namespace tarnex
