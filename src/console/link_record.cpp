#include "console/link_record.h"

#include <array>

#include "console/pjlink_links.h"
#include "protocol/command_frame.h"

namespace tarnex {
namespace {

// The replies a group send writes to the history, each with the reply letter of the command it
// acknowledges: a mute acknowledged "d 01 OK01x" is no "Power On".
struct GroupHistoryEntry {
  char letter;
  std::string_view acknowledgement;
  std::string_view text;
};
constexpr std::array<GroupHistoryEntry, 8> kGroupHistory = {{
    {'a', "OK00x", "Power Off"},
    {'a', "OK01x", "Power On"},
    {'b', "OK02x", "Power AV"},
    {'b', "OK04x", "Power Component"},
    {'b', "OK07x", "Power RGB_PC"},
    {'b', "OK08x", "Power HDMI_DTV"},
    {'b', "OK09x", "Power HDMI_PC"},
    {'#', "OK0100x", "Clear Message"},
}};

}  // namespace

std::optional<std::string_view> GroupHistoryText(std::string_view reply) {
  const auto ack = protocol::AckPart(reply);
  if (!ack) return std::nullopt;
  for (const auto& [letter, acknowledgement, text] : kGroupHistory) {
    if (!reply.empty() && reply.front() == letter && *ack == acknowledgement) return text;
  }
  return std::nullopt;
}

// A display deleted meanwhile (the operator's edits do not wait for exchanges) has no entry
// to record in; its reply still goes to the job that asked.
std::optional<std::string> RecordExchangeLocked(const CConsoleCore::State& state, DisplayId id,
                                                ExchangeOutcome& outcome, bool giveUp) {
  const int row = state->RowOf(id);
  if (row < 0) {
    return outcome.complete ? std::optional<std::string>(std::move(outcome.reply)) : std::nullopt;
  }
  if (outcome.answer != LinkAnswer::kNone)
    NoteLinkAnswerLocked(state, id, outcome.answer, outcome.asked);
  if (outcome.complete) {
    state->Doc().m_docConnectState[static_cast<size_t>(row)] = 1;
    return std::move(outcome.reply);
  }
  // A PJLink display that answered without a reply the console uses is there all the same.
  if (Present(outcome.answer) || outcome.answer == LinkAnswer::kAuthFailed) return std::nullopt;
  // A console that is closing, or a read that a new selection made stale, cut the exchange
  // short; the display did nothing wrong.
  if (giveUp && !outcome.cancelled) GiveUpLocked(state, row);
  return std::nullopt;
}

// The display is lost: it is shown down, its link closed, the loss written to the history,
// and the administrator alarmed once, on the change from up to down.
void GiveUpLocked(const CConsoleCore::State& state, int row) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  const bool wasUp = doc.m_docConnectState[static_cast<size_t>(row)] == 1;
  state->Link().CloseLink(row);
  state->MarkDisconnectedAt(row);
  state->AppendHistoryAt(row, "Monitor is not communicated with PC");
  if (wasUp) state->SendAlarmMail(AlarmKind::kLinkFault, state->DisplayAddress(row));
  doc.m_docConnectState[static_cast<size_t>(row)] = 0;
}

void MarkLinkGoneLocked(const CConsoleCore::State& state, DisplayId id) {
  const int row = state->RowOf(id);
  if (row < 0 || state->Doc().m_docConnectState[static_cast<size_t>(row)] != 1) return;
  state->MarkDisconnectedAt(row);
  state->Doc().m_docConnectState[static_cast<size_t>(row)] = 0;
}

bool RecordMemberLocked(const CConsoleCore::State& state, DisplayId id,
                        const SequenceOutcome& outcome, bool linkGone) {
  const int row = state->RowOf(id);
  if (row < 0) return false;  // deleted while it was asked
  if (outcome.answer != LinkAnswer::kNone)
    NoteLinkAnswerLocked(state, id, outcome.answer, outcome.asked);
  if (linkGone) {
    MarkLinkGoneLocked(state, id);
  } else if (outcome.givenUp && !outcome.cancelled) {
    GiveUpLocked(state, row);
  }
  return true;
}

}  // namespace tarnex
