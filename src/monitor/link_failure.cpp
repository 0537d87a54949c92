#include "monitor/link_failure.h"

#include <mutex>

namespace tarnex {

void ReportLostLink(CConsoleCore& core, bool clearSetIdAnswered) {
  bool serial = false;
  {
    auto state = core.Lock();
    COsprelNetworkManagerDoc& doc = state->Doc();
    serial = doc.m_docCommunicationSelect == kSerialMode;
    if (serial) {
      doc.m_docInputReadOk = 0;
      if (clearSetIdAnswered) doc.m_docSetIdAnswered = 0;
    } else {
      state->MarkDisconnected();
    }
  }
  // The message box waits for the operator: the lock is released so workers go on meanwhile.
  core.Ui().ShowMessage(serial ? "Please Check Set ID" : "Projector is Disconnected");
}

}  // namespace tarnex
