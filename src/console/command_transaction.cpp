#include "console/command_transaction.h"

#include <array>
#include <utility>

#include "console/console_core.h"
#include "console/serial_channel.h"
#include "links/network_exchange.h"
#include "protocol/command_catalogue.h"
#include "protocol/command_frame.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

constexpr std::chrono::milliseconds kPowerResendPause{50};
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

std::optional<std::string> CCommandTransaction::SendCommand(std::string_view command) {
  std::lock_guard lock(m_core.Mutex());
  const int mode = m_core.Doc().m_docCommunicationSelect;
  if (mode == kNetworkMode) return SendNetwork(command);
  if (mode == kSerialMode) return SendSerial(command);
  return std::nullopt;
}

std::optional<std::string> CCommandTransaction::SendCommandToCurrent(std::string_view command) {
  std::lock_guard lock(m_core.Mutex());
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  if (doc.m_docCommunicationSelect == kNetworkMode) {
    if (command == protocol::query::kDisplayKind) return NetworkQueryOnce(command);
    return NetworkExchange(command);
  }
  if (doc.m_docCommunicationSelect != kSerialMode) return std::nullopt;
  const auto setId = protocol::DeriveSetId(doc.m_docHistorySetID);
  if (!setId) return std::string();  // no such set ID: the line stays silent
  return SerialWithSetId(command, *setId);
}

std::optional<std::string> CCommandTransaction::SendCommandToDisplay(int index,
                                                                     std::string_view command) {
  std::lock_guard lock(m_core.Mutex());
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  if (doc.m_docCommunicationSelect != kNetworkMode || !LinkState::ValidIndex(index)) {
    return std::nullopt;
  }
  const int selected = doc.m_docCurrentDisplay;
  doc.m_docCurrentDisplay = index;
  std::optional<std::string> reply = SendCommandToCurrent(command);
  doc.m_docCurrentDisplay = selected;
  return reply;
}

// ---- Network ----

std::optional<std::string> CCommandTransaction::SendNetwork(std::string_view command) {
  if (m_core.m_bEmptyGroup) return std::nullopt;
  if (m_core.m_bTargetIsGroup) return SendNetworkGroup(command);
  const COsprelNetworkManagerDoc& doc = m_core.Doc();
  const int current = doc.m_docCurrentDisplay;
  if (!LinkState::ValidIndex(current) || doc.m_docConnectState[static_cast<size_t>(current)] != 1) {
    return std::nullopt;
  }
  if (command == protocol::query::kDisplayKind) return NetworkQueryOnce(command);
  return NetworkExchange(command);
}

// Every member in turn, behind the progress popup. A member whose address occurs several times
// in the display table is sent the command once per occurrence.
std::optional<std::string> CCommandTransaction::SendNetworkGroup(std::string_view command) {
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  const std::vector<std::string> members = m_core.Tree().ViewState().m_groupMemberList;
  UiHost& ui = m_core.Ui();
  ui.ProgressCreate();
  ui.ProgressSetPos(0);
  const int step = members.empty() ? 0 : 100 / static_cast<int>(members.size());
  std::optional<std::string> last;
  const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
  for (size_t m = 0; m < members.size(); ++m) {
    ui.ProgressSetPos(static_cast<int>(m) * step);
    for (int index = 0; index < count; ++index) {
      if (doc.m_docDisplays[static_cast<size_t>(index)].m_address != members[m]) continue;
      last = SendToMemberDisplay(index, command);
    }
  }
  ui.ProgressSetPos(100);
  m_core.Sleep()(kGroupEndPause);
  ui.ProgressDestroy();
  return last;
}

std::optional<std::string> CCommandTransaction::SendToMemberDisplay(int index,
                                                                    std::string_view command) {
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  doc.m_docCurrentDisplay = index;
  if (doc.m_docConnectState[static_cast<size_t>(index)] != 1) return std::nullopt;
  std::optional<std::string> reply =
      IsPowerCommand(command) ? SendPowerCommand(command) : NetworkExchange(command);
  if (reply) GroupHistory(*reply);
  return reply;
}

std::optional<std::string> CCommandTransaction::NetworkExchange(std::string_view command) {
  return ExchangeWithCurrent(command, kNetworkFailedReceives, true);
}

std::optional<std::string> CCommandTransaction::NetworkQueryOnce(std::string_view command) {
  return ExchangeWithCurrent(command, 1, false);
}

// A complete reply marks the link up; with `giveUp`, failing receives end the link.
std::optional<std::string> CCommandTransaction::ExchangeWithCurrent(std::string_view command,
                                                                    int maxFailedReceives,
                                                                    bool giveUp) {
  std::lock_guard lock(m_core.Mutex());
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  const int current = doc.m_docCurrentDisplay;
  if (!LinkState::ValidIndex(current)) return std::nullopt;
  CNetworkLink& link = m_core.Link();
  ExchangeOutcome outcome = ExchangeWithDisplay(link.Api(), link.Sockets().Get(current), command,
                                                maxFailedReceives, giveUp, m_core.Sleep());
  if (!outcome.complete) {
    if (giveUp) GiveUp();
    return std::nullopt;
  }
  doc.m_docConnectState[static_cast<size_t>(current)] = 1;
  return std::move(outcome.reply);
}

// The display is lost: it is shown down, its link closed, the loss written to the history,
// and the administrator alarmed once, on the change from up to down.
void CCommandTransaction::GiveUp() {
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  const int current = doc.m_docCurrentDisplay;
  const bool wasUp = doc.m_docConnectState[static_cast<size_t>(current)] == 1;
  m_core.Link().CloseLink(current);
  m_core.MarkDisconnected();
  m_core.AppendHistory("Monitor is not communicated with PC");
  if (wasUp) m_core.SendAlarmMail(2, m_core.DisplayAddress(current));
  doc.m_docConnectState[static_cast<size_t>(current)] = 0;
}

std::string CCommandTransaction::SendPowerCommand(std::string_view command) {
  std::lock_guard lock(m_core.Mutex());
  CNetworkLink& link = m_core.Link();
  const int fd = link.Sockets().Get(m_core.Doc().m_docCurrentDisplay);
  link.Api().Send(fd, command.data(), command.size());
  m_core.Sleep()(kPowerResendPause);
  link.Api().Send(fd, command.data(), command.size());
  return std::string(command == protocol::command::kPowerOn ? protocol::command::kPowerOnReply
                                                            : protocol::command::kPowerOffReply);
}

void CCommandTransaction::GroupHistory(std::string_view reply) {
  if (const auto text = GroupHistoryText(reply)) m_core.AppendHistory(*text);
}

// ---- Serial ----

std::optional<std::string> CCommandTransaction::SendSerial(std::string_view command) {
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  const DeviceTree& tree = m_core.Tree();
  const TreeModel& model = tree.Model();
  const TreeItem selected = tree.ViewState().m_hSelectedItem;
  const TreeItem parent = model.Parent(selected);
  const bool isDisplay = tree.IsRootGrandchild(selected);
  if (isDisplay || doc.m_docCurrentSetId == "00") {
    return SerialWithSetId(command, doc.m_docCurrentSetId);
  }
  if (selected != kNoItem && parent == tree.GroupRoot() && model.FirstChild(selected) != kNoItem) {
    return SendSerialGroup(selected, command);
  }
  return std::nullopt;
}

// Members in tree order; each member's set ID is written into the command and into the
// history of its reply.
std::optional<std::string> CCommandTransaction::SendSerialGroup(TreeItem group,
                                                                std::string_view command) {
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  const TreeModel& model = m_core.Tree().Model();
  std::optional<std::string> last;
  const std::vector<TreeItem> members(model.Children(group).begin(), model.Children(group).end());
  for (TreeItem member : members) {
    const auto number = SerialSetNumber(model.Label(member));
    const auto setId = number ? protocol::DeriveSetId(std::to_string(*number)) : std::nullopt;
    if (!setId) continue;
    doc.m_docCurrentSetId = *setId;
    last = SerialWithSetId(command, *setId);
    doc.m_docHistorySetID = *setId;
    GroupHistory(*last);
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
  std::lock_guard lock(m_core.Mutex());
  SerialChannel* channel = m_core.Serial();
  if (channel == nullptr || !channel->Write(command)) return std::string();
  m_core.Sleep()(kSerialReplyPause);
  const int timeout =
      m_core.Doc().m_docSerialTimeoutShort == 1 ? kSerialTimeoutShortMs : kSerialTimeoutLongMs;
  const std::string_view setId =
      command.size() >= protocol::kSetIdPos + 2 ? command.substr(protocol::kSetIdPos, 2) : "";
  return channel->Read(setId, timeout);
}

}  // namespace tarnex
