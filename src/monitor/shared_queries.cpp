#include "monitor/shared_queries.h"

#include "console/command_transaction.h"
#include "monitor/control_tables.h"
#include "monitor/link_failure.h"
#include "monitor/page_state.h"
#include "protocol/command_catalogue.h"
#include "protocol/command_frame.h"

namespace tarnex {

int QuerySignal(CConsoleCore& core) {
  const std::optional<std::string> reply = core.Transaction().SendCommand(protocol::query::kSignal);
  return reply && protocol::MatchesReply(*reply, "a 01 OK01x") ? 1 : 0;
}

std::optional<std::string> AskInput(CConsoleCore& core, bool clearSetIdAnswered) {
  std::optional<std::string> reply = core.Transaction().SendCommand(protocol::query::kInputSelect);
  if (!reply || reply->empty()) {
    ReportLostLink(core, clearSetIdAnswered);
    return std::nullopt;
  }
  SetDocInt(core, &COsprelNetworkManagerDoc::m_docInputReadOk, 1);
  return reply;
}

int CheckInput(CConsoleCore& core, std::optional<int>* inputPosition) {
  const std::optional<std::string> reply = AskInput(core, false);
  if (!reply) return 0;
  const auto position = MatchPosition(*reply, control::kInputRepliesOther);
  if (inputPosition != nullptr) *inputPosition = position;
  return 1;
}

}  // namespace tarnex
