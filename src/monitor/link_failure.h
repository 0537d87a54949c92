#pragma once

#include "console/console_core.h"

namespace tarnex {

// The queries that check the link found the display silent. On the network the display is
// shown lost and the operator told "Projector is Disconnected"; on the serial line, where a
// silent set ID marks nothing, the operator is told "Please Check Set ID" and the pages stop
// reading until an input query is answered again. `clearSetIdAnswered`: the reader also
// withdraws the set ID's answered state (the Control page's input reader, the picture-mode
// reader).
void ReportLostLink(CConsoleCore& core, bool clearSetIdAnswered);

}  // namespace tarnex
