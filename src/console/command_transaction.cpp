#include "console/command_transaction.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <set>
#include <utility>

#include "console/console_core.h"
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
constexpr int kNetworkFailedReceives = 3;

constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kGroupHistory = {{
    {"OK00x", "Power Off"},
    {"OK01x", "Power On"},
    {"OK02x", "Power AV"},
    {"OK04x", "Power Component"},
    {"OK07x", "Power RGB_PC"},
    {"OK08x", "Power HDMI_DTV"},
    {"OK09x", "Power HDMI_PC"},
    {"OK0100x", "Clear Message"},
}};

bool IsPowerCommand(std::string_view command) {
  return command == protocol::command::kPowerOn || command == protocol::command::kPowerOff;
}

std::string PowerReply(std::string_view command) {
  return std::string(command == protocol::command::kPowerOn ? protocol::command::kPowerOnReply
                                                            : protocol::command::kPowerOffReply);
}

ExchangeSpec Retried(std::string_view command) {
  return {.command = std::string(command), .maxFailedReceives = kNetworkFailedReceives};
}

ExchangeSpec Once(std::string_view command) {
  return {.command = std::string(command), .maxFailedReceives = 1, .resend = false};
}

ExchangeSpec Power(std::string_view command) {
  return {.command = std::string(command), .power = true};
}

}  // namespace

std::optional<std::string_view> GroupHistoryText(std::string_view reply) {
  const auto ack = protocol::AckPart(reply);
  if (!ack) return std::nullopt;
  for (const auto& [acknowledgement, text] : kGroupHistory) {
    if (*ack == acknowledgement) return text;
  }
  return std::nullopt;
}

CCommandTransaction::CCommandTransaction(CConsoleCore& core) : m_core(core) {}

// Read under the lock; nothing waits here.
CommandTarget CCommandTransaction::CaptureTarget() {
  auto state = m_core.Lock();
  const COsprelNetworkManagerDoc& doc = state->Doc();
  CommandTarget target;
  if (doc.m_docCommunicationSelect == kSerialMode) return CaptureSerialTarget(state);
  if (doc.m_docCommunicationSelect != kNetworkMode || state->EmptyGroup()) return target;
  if (!state->TargetIsGroup()) {
    target.route = CommandTarget::Route::kDisplay;
    target.display = doc.m_docCurrentDisplay;
    return target;
  }
  // A member whose address occurs several times in the display table is sent the command
  // once per occurrence.
  target.route = CommandTarget::Route::kNetworkGroup;
  const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
  for (const std::string& member : state->Tree().ViewState().m_groupMemberList) {
    for (int index = 0; index < count; ++index) {
      if (doc.m_docDisplays[static_cast<size_t>(index)].m_address == member) {
        target.members.push_back(index);
      }
    }
  }
  return target;
}

std::optional<std::string> CCommandTransaction::SendCommand(std::string_view command) {
  return SendCommand(command, CaptureTarget());
}

std::optional<std::string> CCommandTransaction::SendCommand(std::string_view command,
                                                            const CommandTarget& target) {
  switch (target.route) {
    case CommandTarget::Route::kNone:
      return std::nullopt;
    case CommandTarget::Route::kSerial:
      return SendSerial(command, target);
    case CommandTarget::Route::kNetworkGroup:
      return SendNetworkGroup(target.members, command);
    case CommandTarget::Route::kDisplay:
      break;
  }
  {
    auto state = m_core.Lock();
    const int index = target.display;
    if (!LinkState::ValidIndex(index) ||
        state->Doc().m_docConnectState[static_cast<size_t>(index)] != 1) {
      return std::nullopt;
    }
  }
  return RouteToDisplay(target.display, command);
}

void CCommandTransaction::AppendHistoryFor(const CommandTarget& target,
                                           std::string_view operation) {
  if (target.route == CommandTarget::Route::kSerial) {
    m_core.AppendSerialHistory(target.historySetId, operation);
  } else if (target.route == CommandTarget::Route::kDisplay) {
    m_core.AppendHistoryAt(target.display, operation);
  }
}

std::optional<std::string> CCommandTransaction::SendCommandToCurrent(std::string_view command) {
  int mode;
  int current;
  std::string setNumber;
  {
    auto state = m_core.Lock();
    const COsprelNetworkManagerDoc& doc = state->Doc();
    mode = doc.m_docCommunicationSelect;
    current = doc.m_docCurrentDisplay;
    setNumber = doc.m_docHistorySetID;
  }
  if (mode == kNetworkMode) return RouteToDisplay(current, command);
  if (mode != kSerialMode) return std::nullopt;
  const auto setId = protocol::DeriveSetId(setNumber);
  if (!setId) return std::string();  // no such set ID: the line stays silent
  return SerialWithSetId(command, *setId);
}

std::optional<std::string> CCommandTransaction::SendCommandToDisplay(int index,
                                                                     std::string_view command) {
  {
    if (m_core.Lock()->Doc().m_docCommunicationSelect != kNetworkMode) return std::nullopt;
  }
  return RouteToDisplay(index, command);
}

// ---- Network ----

std::optional<std::string> CCommandTransaction::RouteToDisplay(int index,
                                                               std::string_view command) {
  if (!LinkState::ValidIndex(index)) return std::nullopt;
  if (command == protocol::query::kDisplayKind) return NetworkQueryOnce(index, command);
  return NetworkExchange(index, command);
}

std::optional<std::string> CCommandTransaction::NetworkExchange(int index,
                                                                std::string_view command) {
  return ExchangeAt(index, Retried(command), true);
}

std::optional<std::string> CCommandTransaction::NetworkQueryOnce(int index,
                                                                 std::string_view command) {
  return ExchangeAt(index, Once(command), false);
}

// The display's channel is held for the exchange; the console lock only for its outcome.
std::optional<std::string> CCommandTransaction::ExchangeAt(int index, const ExchangeSpec& spec,
                                                           bool giveUp) {
  if (!LinkState::ValidIndex(index)) return std::nullopt;
  const Sleeper sleep = m_core.SleeperCopy();
  const std::string address = m_core.Lock()->DisplayAddress(index);
  ExchangeOutcome outcome;
  {
    auto lease = m_core.Link().Sockets().Acquire(index);
    outcome = ExchangeWithDisplay(m_core.Link().Api(), lease.Fd(), spec, sleep, m_core.StopFd());
  }
  return RecordOutcomeLocked(m_core.Lock(), index, address, outcome, giveUp);
}

// A display deleted or moved in the table meanwhile (the operator's edits do not wait for
// exchanges) no longer owns the entry: its outcome is not recorded against another display.
std::optional<std::string> CCommandTransaction::RecordOutcomeLocked(const State& state, int index,
                                                                    const std::string& address,
                                                                    ExchangeOutcome& outcome,
                                                                    bool giveUp) {
  if (state->DisplayAddress(index) != address) {
    return outcome.complete ? std::optional<std::string>(std::move(outcome.reply)) : std::nullopt;
  }
  if (outcome.complete) {
    state->Doc().m_docConnectState[static_cast<size_t>(index)] = 1;
    return std::move(outcome.reply);
  }
  // A console that is closing cut the exchange short; the display did nothing wrong.
  if (giveUp && !outcome.cancelled) GiveUpLocked(state, index);
  return std::nullopt;
}

// The display is lost: it is shown down, its link closed, the loss written to the history,
// and the administrator alarmed once, on the change from up to down.
void CCommandTransaction::GiveUpLocked(const State& state, int index) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  const bool wasUp = doc.m_docConnectState[static_cast<size_t>(index)] == 1;
  state->Link().CloseLink(index);
  state->MarkDisconnectedAt(index);
  state->AppendHistoryAt(index, "Monitor is not communicated with PC");
  if (wasUp) state->SendAlarmMail(AlarmKind::kLinkFault, state->DisplayAddress(index));
  doc.m_docConnectState[static_cast<size_t>(index)] = 0;
}

// Every connected member at once, behind the progress popup; the outcomes are recorded in
// member order afterwards, so the history reads as if the members had been sent to in turn.
std::optional<std::string> CCommandTransaction::SendNetworkGroup(const std::vector<int>& members,
                                                                 std::string_view command) {
  std::vector<GroupTarget> targets;
  {
    auto state = m_core.Lock();
    COsprelNetworkManagerDoc& doc = state->Doc();
    for (int index : members) {
      targets.push_back({index, doc.m_docConnectState[static_cast<size_t>(index)] == 1,
                         state->DisplayAddress(index)});
      // The current display ends at the last member, as operators know it.
      doc.m_docCurrentDisplay = index;
    }
  }
  UiHost& ui = m_core.Ui();
  ui.ProgressCreate();
  ui.ProgressSetPos(0);
  const ExchangeSpec spec = IsPowerCommand(command) ? Power(command) : Retried(command);
  std::vector<ExchangeOutcome> outcomes = ExchangeWithMembers(targets, spec);
  std::optional<std::string> last;
  {
    auto state = m_core.Lock();
    for (size_t i = 0; i < targets.size(); ++i) {
      last = targets[i].up ? RecordMember(state, targets[i], command, outcomes[i]) : std::nullopt;
    }
  }
  ui.ProgressSetPos(100);
  m_core.SleeperCopy()(kGroupEndPause);
  ui.ProgressDestroy();
  return last;
}

std::optional<std::string> CCommandTransaction::RecordMember(const State& state,
                                                             const GroupTarget& target,
                                                             std::string_view command,
                                                             ExchangeOutcome& outcome) {
  std::optional<std::string> reply =
      IsPowerCommand(command)
          ? std::optional<std::string>(PowerReply(command))
          : RecordOutcomeLocked(state, target.index, target.address, outcome, true);
  if (reply) GroupHistory(state, target.index, *reply);
  return reply;
}

// A display listed twice (a member added twice) is sent to once per listing, but never twice
// at the same moment: each wave holds a display at most once. Channels are taken in index
// order, so two group sends running together cannot wait for each other in a circle.
std::vector<ExchangeOutcome> CCommandTransaction::ExchangeWithMembers(
    const std::vector<GroupTarget>& targets, const ExchangeSpec& spec) {
  std::vector<ExchangeOutcome> outcomes(targets.size());
  std::vector<size_t> pending;
  for (size_t i = 0; i < targets.size(); ++i) {
    if (targets[i].up) pending.push_back(i);
  }
  const size_t total = std::max<size_t>(1, targets.size());
  size_t finished = targets.size() - pending.size();
  int shown = 0;
  UiHost& ui = m_core.Ui();
  MonitorSocketTable& table = m_core.Link().Sockets();
  while (!pending.empty()) {
    std::vector<size_t> wave;
    std::vector<size_t> later;
    std::set<int> inWave;
    for (size_t position : pending) {
      (inWave.insert(targets[position].index).second ? wave : later).push_back(position);
    }
    std::sort(wave.begin(), wave.end(),
              [&](size_t a, size_t b) { return targets[a].index < targets[b].index; });
    std::vector<MonitorSocketTable::Lease> leases;
    std::vector<int> fds;
    for (size_t position : wave) {
      leases.push_back(table.Acquire(targets[position].index));
      fds.push_back(leases.back().Fd());
    }
    const std::vector<ExchangeSpec> specs(wave.size(), spec);
    std::vector<ExchangeOutcome> results =
        ExchangeWithDisplays(m_core.Link().Api(), fds, specs, m_core.StopFd(), [&](size_t) {
          const int position = static_cast<int>(++finished * 100 / total);
          if (position != shown) ui.ProgressSetPos(shown = position);
        });
    leases.clear();
    for (size_t w = 0; w < wave.size(); ++w) outcomes[wave[w]] = std::move(results[w]);
    pending = std::move(later);
  }
  return outcomes;
}

void CCommandTransaction::GroupHistory(const State& state, int index, std::string_view reply) {
  const auto text = GroupHistoryText(reply);
  if (!text) return;
  if (index < 0) {
    state->AppendHistory(*text);
  } else {
    state->AppendHistoryAt(index, *text);
  }
}

// ---- Serial ----

// The selected set ID, or every member of the selected group (lock held).
CommandTarget CCommandTransaction::CaptureSerialTarget(const State& state) {
  const COsprelNetworkManagerDoc& doc = state->Doc();
  const DeviceTree& tree = state->Tree();
  const TreeModel& model = tree.Model();
  const TreeItem selected = tree.ViewState().m_hSelectedItem;
  CommandTarget target;
  if (tree.IsRootGrandchild(selected) || doc.m_docCurrentSetId == "00") {
    target.route = CommandTarget::Route::kSerial;
    target.setIds.push_back(doc.m_docCurrentSetId);
    target.historySetId = doc.m_docHistorySetID;
    return target;
  }
  if (selected == kNoItem || model.Parent(selected) != tree.GroupRoot() ||
      model.FirstChild(selected) == kNoItem) {
    return target;
  }
  target.route = CommandTarget::Route::kSerial;
  target.serialGroup = true;
  // Members in tree order; a member label without a set number has no display to reach.
  for (TreeItem member : model.Children(selected)) {
    const auto number = SerialSetNumber(model.Label(member));
    const auto setId = number ? protocol::DeriveSetId(std::to_string(*number)) : std::nullopt;
    if (setId) target.setIds.push_back(*setId);
  }
  return target;
}

std::optional<std::string> CCommandTransaction::SendSerial(std::string_view command,
                                                           const CommandTarget& target) {
  if (target.serialGroup) return SendSerialGroup(target.setIds, command);
  if (target.setIds.empty()) return std::nullopt;
  return SerialWithSetId(command, target.setIds.front());
}

// Each member's set ID is written into the command and into the history of its reply.
std::optional<std::string> CCommandTransaction::SendSerialGroup(
    const std::vector<std::string>& setIds, std::string_view command) {
  std::optional<std::string> last;
  for (const std::string& setId : setIds) {
    { m_core.Lock()->Doc().m_docCurrentSetId = setId; }
    last = SerialWithSetId(command, setId);
    auto state = m_core.Lock();
    state->Doc().m_docHistorySetID = setId;
    GroupHistory(state, -1, *last);
  }
  return last;
}

// Without a two-digit set ID the command would go out with the "01" it was written with and
// reach the wrong display, so nothing is sent.
std::optional<std::string> CCommandTransaction::SerialWithSetId(std::string_view command,
                                                                const std::string& setId) {
  if (setId.size() != 2) return std::string();
  return SerialExchange(protocol::SubstituteSetId(command, setId));
}

std::string CCommandTransaction::SerialExchange(std::string_view command) {
  SerialChannel* channel;
  int timeout;
  {
    channel = m_core.Serial();
    timeout = m_core.Lock()->Doc().m_docSerialTimeoutShort == 1 ? kSerialTimeoutShortMs
                                                                : kSerialTimeoutLongMs;
  }
  if (channel == nullptr) return std::string();
  const std::string_view setId =
      command.size() >= protocol::kSetIdPos + 2 ? command.substr(protocol::kSetIdPos, 2) : "";
  return channel->Exchange(command, kSerialReplyPause, m_core.SleeperCopy(), setId, timeout,
                           m_core.StopFd());
}

}  // namespace tarnex
