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
  auto state = core.Lock();
  if (!context.StillSelected(state)) return;
  COsprelNetworkManagerDoc& doc = state->Doc();
  if (answered) {
    doc.m_docInputReadOk = 1;
    if (creditSetId) doc.m_docSetIdAnswered = 1;
  }
}

bool ShouldRefreshOnActivation(CConsoleCore& core) {
  bool serialCandidate = false;
  {
    auto state = core.Lock();
    const COsprelNetworkManagerDoc& doc = state->Doc();
    if (doc.m_docCommunicationSelect == kNetworkMode) return doc.m_docSelectedLinkUp == 1;
    serialCandidate = doc.m_docCommunicationSelect == kSerialMode && doc.m_docSetIdAnswered == 1 &&
                      doc.m_docCurrentSetId != "00";
  }
  return serialCandidate && SelectedIsSerialDisplay(core);
}

}  // namespace tarnex
