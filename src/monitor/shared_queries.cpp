#include "monitor/shared_queries.h"

#include "monitor/control_tables.h"
#include "monitor/link_failure.h"
#include "protocol/command_catalogue.h"
#include "protocol/command_frame.h"

namespace tarnex {

int QuerySignal(const ReadContext& context) {
  const SendOutcome outcome = context.Send(protocol::query::kSignal);
  return outcome.reply && protocol::MatchesReply(*outcome.reply, "a 01 OK01x") ? 1 : 0;
}

InputCheck AskInput(const ReadContext& context, bool clearSetIdAnswered, bool shortSerialWait) {
  SendOutcome outcome = context.Send(protocol::query::kInputSelect, shortSerialWait);
  if (outcome.cancelled) return {.result = InputCheck::Result::kCancelled, .reply = {}};
  if (!outcome.reply || outcome.reply->empty()) {
    ReportLostLink(context, clearSetIdAnswered);
    return {.result = InputCheck::Result::kSilent, .reply = {}};
  }
  return {.result = InputCheck::Result::kAnswered, .reply = std::move(*outcome.reply)};
}

int CheckInput(const ReadContext& context, std::optional<int>* inputPosition,
               bool shortSerialWait) {
  const InputCheck check = AskInput(context, false, shortSerialWait);
  if (!check.Answered()) return 0;
  const auto position = MatchPosition(check.reply, control::kInputRepliesOther);
  if (inputPosition != nullptr) *inputPosition = position;
  return 1;
}

}  // namespace tarnex
