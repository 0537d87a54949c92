#include "monitor/refresh_steps.h"

#include <mutex>

#include "monitor/page_state.h"

namespace tarnex {

ShortSerialTimeout::ShortSerialTimeout(CConsoleCore& core) : m_core(core) {
  SetDocInt(m_core, &COsprelNetworkManagerDoc::m_docSerialTimeoutShort, 1);
}

ShortSerialTimeout::~ShortSerialTimeout() {
  SetDocInt(m_core, &COsprelNetworkManagerDoc::m_docSerialTimeoutShort, 0);
}

void MarkCheckPassed(CConsoleCore& core, bool keepSerialState) {
  if (!keepSerialState) SetSerialConnectState(core, 1);
  if (IsSerialMode(core)) SetSelectedIcon(core, TreeIcon::kConnected);
}

void MarkCheckFailed(CConsoleCore& core, bool keepSerialState) {
  if (!keepSerialState) SetSerialConnectState(core, 0);
  if (IsSerialMode(core)) SetSelectedIcon(core, TreeIcon::kDisconnected);
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
