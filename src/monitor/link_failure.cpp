#include "monitor/link_failure.h"

#include "platform/ui_thread.h"

namespace tarnex {

void ReportLostLink(const ReadContext& context, bool clearSetIdAnswered) {
  if (context.Cancelled()) return;
  CConsoleCore& core = *context.core;
  if (context.serial) {
    // The selection's flags are the UI thread's.
    core.Ui().RunOnUi([&core, context, clearSetIdAnswered] {
      ExpectOnUiThread("a lost link's change of the selection");
      auto state = core.Lock();
      if (!context.StillSelected(state)) return;
      state->Doc().m_docInputReadOk = 0;
      if (clearSetIdAnswered) state->Doc().m_docSetIdAnswered = 0;
    });
  } else if (context.target.route == CommandTarget::Route::kDisplay) {
    core.Lock()->MarkDisconnected(context.target.display);
  }
  // The message box waits for the operator: no lock is held.
  core.Ui().ShowMessage(context.serial ? "Please Check Set ID" : "Projector is Disconnected");
}

}  // namespace tarnex
