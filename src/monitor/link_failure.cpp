#include "monitor/link_failure.h"

#include "platform/ui_thread.h"

namespace tarnex {

void ReportLostLink(const ReadContext& context, bool clearSetIdAnswered) {
  if (context.Cancelled()) return;
  CConsoleCore& core = *context.core;
  if (context.serial) {
    auto state = core.Lock();
    if (DisplayFacts* facts = context.Facts(state)) {
      facts->inputReadOk = false;
      if (clearSetIdAnswered) facts->setIdAnswered = false;
    }
  } else if (context.target.route == CommandTarget::Route::kDisplay) {
    core.Lock()->MarkDisconnected(context.target.display);
  }
  // The message box waits for the operator: no lock is held.
  core.Ui().ShowMessage(context.serial ? "Please Check Set ID" : "Projector is Disconnected");
}

}  // namespace tarnex
