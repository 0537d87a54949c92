#include "monitor/refresh_steps.h"

#include <mutex>

#include "monitor/page_state.h"
#include "platform/ui_thread.h"

namespace tarnex {
namespace {

void MarkCheck(const ReadContext& context, bool keepSerialState, int serialState, TreeIcon icon) {
  if (!context.serial || context.Cancelled()) return;
  auto state = context.core->Lock();
  COsprelNetworkManagerDoc& doc = state->Doc();
  const int id = context.target.serialId;
  // The set number comes from a tree label; one outside the table has no entry to mark.
  if (!keepSerialState && id >= 0 && id < kSerialSetIds) {
    doc.m_docSerialConnectState[static_cast<size_t>(id)] = serialState;
  }
  if (context.target.item != kNoItem) {
    state->Tree().SetImages(context.target.item, TreeImages::Both(icon));
  }
}

}  // namespace

void MarkCheckPassed(const ReadContext& context, bool keepSerialState) {
  MarkCheck(context, keepSerialState, 1, TreeIcon::kConnected);
}

void MarkCheckFailed(const ReadContext& context, bool keepSerialState) {
  MarkCheck(context, keepSerialState, 0, TreeIcon::kDisconnected);
}

void ApplyInputCheck(CConsoleCore& core, const ReadContext& context, bool answered,
                     bool creditSetId) {
  ExpectOnUiThread("a read's change of the selection");
  if (!answered) return;
  auto state = core.Lock();
  DisplayFacts* facts = context.Facts(state);
  if (facts == nullptr) return;
  facts->inputReadOk = true;
  if (creditSetId) facts->setIdAnswered = true;
}

bool ShouldRefreshOnActivation(CConsoleCore& core) {
  auto state = core.Lock();
  const Selection& selection = state->Selected();
  if (selection.kind() == Selection::Kind::kDisplay) return state->SelectionUsable();
  if (selection.kind() != Selection::Kind::kSerialDisplay || selection.setNumber() == 0) {
    return false;
  }
  const DisplayFacts* facts = state->SerialFactsOf(selection.setNumber());
  return facts != nullptr && facts->setIdAnswered;
}

}  // namespace tarnex
