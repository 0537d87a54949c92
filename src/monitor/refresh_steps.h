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

// UI thread: what the input check of a read of the selection found, to the selection's
// flags, while the operator still has it selected: m_docInputReadOk, and m_docSetIdAnswered
// when the check answered and `creditSetId`.
void ApplyInputCheck(CConsoleCore& core, const ReadContext& context, bool answered,
                     bool creditSetId);

// Whether activating a page should re-read the selection: a connected network display, or a
// serial set ID that answered, other than "00", whose item stands for one display.
bool ShouldRefreshOnActivation(CConsoleCore& core);

}  // namespace tarnex
