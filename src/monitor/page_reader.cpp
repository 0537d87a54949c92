#include "monitor/page_reader.h"

#include "protocol/command_frame.h"

namespace tarnex {

std::optional<int> MatchPosition(std::string_view reply, std::span<const ReplyPosition> table) {
  for (const ReplyPosition& entry : table) {
    if (protocol::MatchesReply(reply, entry.reply)) return entry.position;
  }
  return std::nullopt;
}

std::optional<int> PageReader::Read(const ReadContext& context) const {
  const SendOutcome outcome = context.Send(m_query);
  if (!outcome.reply || outcome.reply->empty()) return std::nullopt;
  return MatchPosition(*outcome.reply, m_table);
}

}  // namespace tarnex
