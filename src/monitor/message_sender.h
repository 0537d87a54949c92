#pragma once

#include <string>
#include <string_view>

#include "console/command_transaction.h"

namespace tarnex {

// How a message went: the members whose screens got the whole sequence.
struct MessageResult {
  size_t shown = 0;
  size_t members = 0;
  bool cancelled = false;
};

// Puts `text` on the screens of `target`, taken when the operator pressed Send: one display or
// set ID, or every member of a group. A network group's members get their frames side by
// side, each with its own pacing; a serial group's members one after another on the line.
// A member whose link is down gets nothing, and one that stops answering gets no further
// frames; only a member that took the whole sequence gets "Send Message to Monitor", in
// member order. A group shows the progress popup. Blocks the calling thread (a job).
MessageResult SendMessage(CConsoleCore& core, const CommandTarget& target, std::string_view text,
                          int alignment, int colour);

// From the window: captures the selection now and sends on a console worker.
void PostMessage(CConsoleCore& core, std::string text, int alignment, int colour);

// From the window: hides the message of the selection; a display or set ID that answered gets
// "Clear Message" in the history (a group's members get theirs from their replies).
void PostClearMessage(CConsoleCore& core);

}  // namespace tarnex
