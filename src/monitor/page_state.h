#pragma once

#include "console/console_core.h"
#include "monitor/page_flags.h"
#include "registry/tree_icons.h"

namespace tarnex {

// The pages' reads and writes of the shared console state. Each takes the console lock for
// its own moment only: a refresh runs many exchanges, and the supervision worker must be able
// to record its reconnects between them.

int DocInt(CConsoleCore& core, DocFlag field);
void SetDocInt(CConsoleCore& core, DocFlag field, int value);

// Every page setter requires a usable target.
bool TargetConnected(CConsoleCore& core);
bool IsSerialMode(CConsoleCore& core);
bool TargetIsGroup(CConsoleCore& core);

// Serial: the selection is one set number.
bool SelectedIsSerialDisplay(CConsoleCore& core);
// What the selected single display answered before; the defaults for anything else.
DisplayFacts SelectedDisplayFacts(CConsoleCore& core);
// The selected display answered a read: the view's m_bConnect is 1. UI thread.
void NoteSelectedAnswered(CConsoleCore& core);

// The core's pause, copied so that it runs without the console lock.
Sleeper CoreSleeper(CConsoleCore& core);

}  // namespace tarnex
