#include "monitor/page_reader.h"

#include "console/command_transaction.h"
#include "protocol/command_frame.h"

namespace tarnex {

std::optional<int> MatchPosition(std::string_view reply, std::span<const ReplyPosition> table) {
  for (const ReplyPosition& entry : table) {
    if (protocol::MatchesReply(reply, entry.reply)) return entry.position;
  }
  return std::nullopt;
}

std::optional<int> PageReader::Read(CConsoleCore& core) const {
  const std::optional<std::string> reply = core.Transaction().SendCommand(m_query);
  if (!reply || reply->empty()) return std::nullopt;
  return MatchPosition(*reply, m_table);
}

}  // namespace tarnex
