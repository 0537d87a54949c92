#pragma once

#include "monitor/read_context.h"

namespace tarnex {

// The steps that every page refresh shares.

// The link check passed: the set ID is recorded as answering (unless `keepSerialState`) and, on
// the serial line, the item the read was aimed at turns to the connected icon.
void MarkCheckPassed(const ReadContext& context, bool keepSerialState = false);
// The link check failed: the set ID is recorded as silent and, on the serial line, the item
// the read was aimed at turns to the disconnected icon.
void MarkCheckFailed(const ReadContext& context, bool keepSerialState = false);

// UI thread: an input check that answered, kept with the read's own display: its input was
// read, and its set ID answered when `creditSetId`.
void ApplyInputCheck(CConsoleCore& core, const ReadContext& context, bool answered,
                     bool creditSetId);

// Whether activating a page should re-read the selection: a connected network display, or a
// serial set ID that answered, other than "00", whose item stands for one display.
bool ShouldRefreshOnActivation(CConsoleCore& core);

}  // namespace tarnex
