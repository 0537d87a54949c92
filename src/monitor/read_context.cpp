#include "monitor/read_context.h"

#include "platform/ui_thread.h"

namespace tarnex {

DisplayFacts* FactsOf(const CConsoleCore::State& state, const CommandTarget& target) {
  if (target.route == CommandTarget::Route::kDisplay) return state->FactsOf(target.display);
  if (target.route == CommandTarget::Route::kSerial && !target.serialGroup) {
    return state->SerialFactsOf(target.serialId);
  }
  return nullptr;
}

DisplayFacts* SelectedFacts(const CConsoleCore::State& state) {
  return FactsOf(state, TargetOf(state->Selected()));
}

ReadContext ReadContext::ForSelection(CConsoleCore& core) {
  ExpectOnUiThread("a page read's capture of the selection");
  ReadContext context;
  context.core = &core;
  context.target = core.Transaction().CaptureTarget();
  context.token = core.ReadToken();
  auto state = core.Lock();
  context.generation = state->SelectionGeneration();
  context.serial = state->Doc().m_docCommunicationSelect == kSerialMode;
  return context;
}

// A group is read by its own status pages, member by member: a page read of a group target
// would send its queries to every member and write their replies into the history.
SendOutcome ReadContext::Send(std::string_view command, bool shortSerialWait) const {
  if (target.IsGroup()) return {};
  const SendOptions options{.cancelFd = token ? token->Fd() : kNoSocket,
                            .shortSerialWait = shortSerialWait};
  SendOutcome outcome = core->Transaction().Send(command, target, options);
  outcome.cancelled = outcome.cancelled || Cancelled();
  return outcome;
}

}  // namespace tarnex
