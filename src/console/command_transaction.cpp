#include "console/command_transaction.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <set>
#include <utility>

#include "console/console_core.h"
#include "console/link_record.h"
#include "console/member_fanout.h"
#include "console/serial_channel.h"
#include "protocol/command_catalogue.h"
#include "protocol/command_frame.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

constexpr std::chrono::milliseconds kSerialReplyPause{100};
constexpr std::chrono::milliseconds kGroupEndPause{200};
constexpr int kSerialTimeoutShortMs = 1000;
constexpr int kSerialTimeoutLongMs = 3000;

bool IsPowerCommand(std::string_view command) {
  return command == protocol::command::kPowerOn || command == protocol::command::kPowerOff;
}

std::string PowerReply(std::string_view command) {
  return std::string(command == protocol::command::kPowerOn ? protocol::command::kPowerOnReply
                                                            : protocol::command::kPowerOffReply);
}

ExchangeSpec Retried(std::string_view command) {
  return SpecOf({.command = std::string(command)});
}

ExchangeSpec Once(std::string_view command) {
  return SpecOf({.command = std::string(command), .once = true});
}

// A group send is one query per member: it runs on the same waves as every member sequence,
// so a member lost since the operator acted fails at once there too.
class OneCommand : public MemberSequence {
 public:
  explicit OneCommand(MemberQuery query) : m_query(std::move(query)) {}
  std::optional<MemberQuery> Start() override { return m_query; }
  std::optional<MemberQuery> Next(std::optional<std::string> reply) override {
    m_reply = std::move(reply);
    return std::nullopt;
  }
  std::optional<std::string>& Reply() { return m_reply; }

 private:
  MemberQuery m_query;
  std::optional<std::string> m_reply;
};

bool Readable(int fd) {
  if (fd == kNoSocket) return false;
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, 0) > 0;
}

}  // namespace

CCommandTransaction::CCommandTransaction(CConsoleCore& core) : m_core(core) {}

// The selection as it stands, and nothing else: a target is never taken from a row or a flag
// that a delete or an earlier selection left behind.
CommandTarget CCommandTransaction::CaptureTarget() {
  auto state = m_core.Lock();
  return TargetOf(state->Selected());
}

CommandTarget CCommandTransaction::DisplayTarget(int row) {
  auto state = m_core.Lock();
  CommandTarget target;
  if (row < 0 || row >= std::clamp(state->Doc().m_docSocketNumber, 0, kMaxDisplays)) {
    return target;
  }
  target.route = CommandTarget::Route::kDisplay;
  target.display = state->IdAt(row);
  return target;
}

std::optional<std::string> CCommandTransaction::SendCommand(std::string_view command) {
  return Send(command, CaptureTarget()).reply;
}

std::optional<std::string> CCommandTransaction::SendCommand(std::string_view command,
                                                            const CommandTarget& target) {
  return Send(command, target).reply;
}

int CCommandTransaction::CancelFd(const SendOptions& options) const {
  return options.cancelFd == kNoSocket ? m_core.StopFd() : options.cancelFd;
}

SendOutcome CCommandTransaction::Send(std::string_view command, const CommandTarget& target,
                                      const SendOptions& options) {
  switch (target.route) {
    case CommandTarget::Route::kNone:
      return {};
    case CommandTarget::Route::kSerial:
      return SendSerial(command, target, options);
    case CommandTarget::Route::kNetworkGroup:
      return SendNetworkGroup(target.members, command, options);
    case CommandTarget::Route::kDisplay:
      break;
  }
  {
    auto state = m_core.Lock();
    const int row = state->RowOf(target.display);
    // A display deleted meanwhile, or without a link, is not sent to.
    if (row < 0 || state->Doc().m_docConnectState[static_cast<size_t>(row)] != 1) return {};
  }
  return RouteToDisplay(target.display, command, CancelFd(options));
}

void CCommandTransaction::AppendHistoryFor(const CommandTarget& target,
                                           std::string_view operation) {
  if (target.route == CommandTarget::Route::kSerial && !target.serialGroup) {
    m_core.Lock()->AppendSerialHistory(target.historySetId, operation);
  } else if (target.route == CommandTarget::Route::kDisplay) {
    m_core.Lock()->AppendHistoryFor(target.display, operation);
  }
}

std::optional<std::string> CCommandTransaction::SendCommandToDisplay(DisplayId id,
                                                                     std::string_view command) {
  {
    if (m_core.Lock()->Doc().m_docCommunicationSelect != kNetworkMode) return std::nullopt;
  }
  return RouteToDisplay(id, command, m_core.StopFd()).reply;
}

// ---- Network ----

SendOutcome CCommandTransaction::RouteToDisplay(DisplayId id, std::string_view command,
                                                int cancelFd) {
  if (command == protocol::query::kDisplayKind)
    return ExchangeAt(id, Once(command), false, cancelFd);
  return ExchangeAt(id, Retried(command), true, cancelFd);
}

std::optional<std::string> CCommandTransaction::NetworkExchange(DisplayId id,
                                                                std::string_view command) {
  return ExchangeAt(id, Retried(command), true, m_core.StopFd()).reply;
}

std::optional<std::string> CCommandTransaction::NetworkQueryOnce(DisplayId id,
                                                                 std::string_view command) {
  return ExchangeAt(id, Once(command), false, m_core.StopFd()).reply;
}

SendOutcome CCommandTransaction::QueryOnce(DisplayId id, std::string_view command, int cancelFd) {
  return ExchangeAt(id, Once(command), false, cancelFd == kNoSocket ? m_core.StopFd() : cancelFd);
}

// The display's channel is held for the exchange; the console lock only to look the display
// up and to record the outcome. A display without a link fails at once: it is shown lost
// already, and a wait could only end in the same.
SendOutcome CCommandTransaction::ExchangeAt(DisplayId id, const ExchangeSpec& spec, bool giveUp,
                                            int cancelFd) {
  const Sleeper sleep = m_core.SleeperCopy();
  {
    if (m_core.Lock()->RowOf(id) < 0) return {};
  }
  ExchangeOutcome outcome;
  {
    auto lease = m_core.Link().Sockets().Acquire(id);
    if (!lease.Linked()) {
      MarkLinkGoneLocked(m_core.Lock(), id);
      return {.reply = std::nullopt, .cancelled = false, .last = id, .answer = LinkAnswer::kNone};
    }
    outcome = ExchangeWithDisplay(m_core.Link().Api(), *lease.Link(), spec, sleep, cancelFd);
  }
  SendOutcome result{
      .reply = std::nullopt, .cancelled = outcome.cancelled, .last = id, .answer = outcome.answer};
  result.reply = RecordExchangeLocked(m_core.Lock(), id, outcome, giveUp);
  return result;
}

// Every connected member at once, behind the progress popup; the outcomes are recorded in
// member order afterwards, so the history reads as if the members had been sent to in turn.
// The send's last member is its result; the operator's selection stays as it was.
SendOutcome CCommandTransaction::SendNetworkGroup(const std::vector<DisplayId>& members,
                                                  std::string_view command,
                                                  const SendOptions& options) {
  const bool power = IsPowerCommand(command);
  std::vector<OneCommand> sends(
      members.size(), OneCommand({.command = std::string(command), .once = false, .power = power}));
  std::vector<MemberSequence*> sequences;
  for (OneCommand& send : sends) sequences.push_back(&send);
  UiHost& ui = m_core.Ui();
  ui.ProgressCreate();
  ui.ProgressSetPos(0);
  const size_t total = std::max<size_t>(1, members.size());
  int shown = 0;
  SendOutcome result;
  const auto record = [&](const State& state, size_t i, const SequenceOutcome& outcome) {
    result.last = members[i];
    result.cancelled = result.cancelled || outcome.cancelled;
    result.reply.reset();
    if (!outcome.up || outcome.skipped || outcome.givenUp) return;
    // A PJLink display answers its power command, and its history follows the answer.
    const bool unread = power && state->KindOf(members[i]) != LinkKind::kPjlink;
    result.reply = unread ? std::optional<std::string>(PowerReply(command)) : sends[i].Reply();
    if (!result.reply) return;
    if (const auto text = GroupHistoryText(*result.reply))
      state->AppendHistoryFor(members[i], *text);
  };
  RunNetworkSequences(
      members, sequences, CancelFd(options),
      [&](size_t done) {
        const int position = static_cast<int>(done * 100 / total);
        if (position != shown) ui.ProgressSetPos(shown = position);
      },
      record);
  ui.ProgressSetPos(100);
  m_core.SleeperCopy()(kGroupEndPause);
  ui.ProgressDestroy();
  return result;
}

// ---- Member sequences ----

std::vector<SequenceOutcome> CCommandTransaction::RunSequences(
    const CommandTarget& target, std::span<MemberSequence* const> sequences,
    const SendOptions& options, const std::function<void(size_t)>& progress) {
  switch (target.route) {
    case CommandTarget::Route::kDisplay:
      return RunNetworkSequences({target.display}, sequences, CancelFd(options), progress);
    case CommandTarget::Route::kNetworkGroup:
      return RunNetworkSequences(target.members, sequences, CancelFd(options), progress);
    case CommandTarget::Route::kSerial:
      return RunSerialSequences(target.setIds, sequences, options, progress);
    case CommandTarget::Route::kNone:
      break;
  }
  return std::vector<SequenceOutcome>(sequences.size());
}

// The members' links are looked up once as the run begins; what the run did to them is
// recorded in member order once every member is done.
std::vector<SequenceOutcome> CCommandTransaction::RunNetworkSequences(
    const std::vector<DisplayId>& members, std::span<MemberSequence* const> sequences, int cancelFd,
    const std::function<void(size_t)>& progress, const MemberRecorder& record) {
  const size_t count = std::min(members.size(), sequences.size());
  std::vector<SequenceOutcome> outcomes(count);
  std::vector<size_t> pending;
  {
    auto state = m_core.Lock();
    for (size_t i = 0; i < count; ++i) {
      const int row = state->RowOf(members[i]);
      outcomes[i].up = row >= 0 && state->Doc().m_docConnectState[static_cast<size_t>(row)] == 1;
      if (outcomes[i].up) pending.push_back(i);
    }
  }
  size_t done = count - pending.size();
  if (done > 0 && progress) progress(done);
  MemberFanOut fanOut(m_core.Link().Sockets(), m_core.Link().Api(), std::span(members).first(count),
                      sequences.first(count), cancelFd, outcomes);
  fanOut.Run(std::move(pending), [&] {
    ++done;
    if (progress) progress(done);
  });
  auto state = m_core.Lock();
  for (size_t i = 0; i < count; ++i) {
    state->LetOthersIn();
    if (!RecordMemberLocked(state, members[i], outcomes[i], fanOut.Lost(i))) continue;
    if (record) record(state, i, outcomes[i]);
  }
  return outcomes;
}

// One set ID after another on the one line; a close or a stale read ends the run between
// queries.
std::vector<SequenceOutcome> CCommandTransaction::RunSerialSequences(
    const std::vector<std::string>& setIds, std::span<MemberSequence* const> sequences,
    const SendOptions& options, const std::function<void(size_t)>& progress) {
  const size_t count = std::min(setIds.size(), sequences.size());
  std::vector<SequenceOutcome> outcomes(count);
  const int cancelFd = CancelFd(options);
  bool cancelled = false;
  for (size_t i = 0; i < count; ++i) {
    outcomes[i].up = true;
    std::optional<MemberQuery> query = cancelled ? std::nullopt : sequences[i]->Start();
    while (query) {
      std::string reply = SerialWithSetId(query->command, setIds[i], options).value_or("");
      if ((cancelled = Readable(cancelFd))) break;
      query = sequences[i]->Next(reply.empty() ? std::nullopt
                                               : std::optional<std::string>(std::move(reply)));
    }
    cancelled = cancelled || Readable(cancelFd);
    outcomes[i].cancelled = cancelled;
    if (progress) progress(i + 1);
  }
  return outcomes;
}

// ---- Serial ----

// Each member's set ID is written into the command, and its decimal set number, as its label
// shows it, into the history of its reply. A close or a stale read ends the loop between
// members.
SendOutcome CCommandTransaction::SendSerial(std::string_view command, const CommandTarget& target,
                                            const SendOptions& options) {
  const int cancelFd = CancelFd(options);
  SendOutcome result;
  if (!target.serialGroup) {
    if (target.setIds.empty()) return result;
    result.reply = SerialWithSetId(command, target.setIds.front(), options);
    result.cancelled = Readable(cancelFd);
    return result;
  }
  for (size_t i = 0; i < target.setIds.size(); ++i) {
    if (Readable(cancelFd)) {
      result.cancelled = true;
      break;
    }
    result.reply = SerialWithSetId(command, target.setIds[i], options);
    if (const auto text = GroupHistoryText(*result.reply)) {
      m_core.Lock()->AppendSerialHistory(target.SerialName(i), *text);
    }
  }
  return result;
}

// Without a two-digit set ID the command would go out with the "01" it was written with and
// reach the wrong display, so nothing is sent.
std::optional<std::string> CCommandTransaction::SerialWithSetId(std::string_view command,
                                                                const std::string& setId,
                                                                const SendOptions& options) {
  if (setId.size() != 2) return std::string();
  return SerialExchange(protocol::SubstituteSetId(command, setId), options);
}

std::string CCommandTransaction::SerialExchange(std::string_view command,
                                                const SendOptions& options) {
  SerialChannel* channel = m_core.Serial();
  if (channel == nullptr) return std::string();
  const int timeout = options.shortSerialWait ? kSerialTimeoutShortMs : kSerialTimeoutLongMs;
  const std::string_view setId =
      command.size() >= protocol::kSetIdPos + 2 ? command.substr(protocol::kSetIdPos, 2) : "";
  return channel->Exchange(command, kSerialReplyPause, m_core.SleeperCopy(), setId, timeout,
                           CancelFd(options));
}

}  // namespace tarnex
