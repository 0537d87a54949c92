#pragma once

#include "console/console_core.h"

namespace tarnex {

// The steps that every page refresh shares.

// While it lives, a serial exchange waits 1000 ms for a reply instead of 3000 ms: the link
// check of a refresh should not keep the operator waiting on a set ID that is not there.
class ShortSerialTimeout {
 public:
  explicit ShortSerialTimeout(CConsoleCore& core);
  ~ShortSerialTimeout();
  ShortSerialTimeout(const ShortSerialTimeout&) = delete;
  ShortSerialTimeout& operator=(const ShortSerialTimeout&) = delete;

 private:
  CConsoleCore& m_core;
};

// The link check passed: the set ID is recorded as answering (unless `keepSerialState`) and, on
// the serial line, the selected item turns to the connected icon.
void MarkCheckPassed(CConsoleCore& core, bool keepSerialState = false);
// The link check failed: the set ID is recorded as silent and, on the serial line, the selected
// item turns to the disconnected icon.
void MarkCheckFailed(CConsoleCore& core, bool keepSerialState = false);

// Whether activating a page should re-read the selection: a connected network display, or a
// serial set ID that answered, other than "00", whose item stands for one display.
bool ShouldRefreshOnActivation(CConsoleCore& core);

}  // namespace tarnex
