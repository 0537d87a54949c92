#pragma once

#include "monitor/read_context.h"

namespace tarnex {

// The queries that check the link found the read's display silent. On the network that
// display is shown lost and the operator told "Projector is Disconnected"; on the serial line,
// where a silent set ID marks nothing, the operator is told "Please Check Set ID" and, while
// the set ID is still selected, the pages stop reading until an input query is answered
// again. `clearSetIdAnswered`: the reader also withdraws the set ID's answered state (the
// Control page's input reader, the picture-mode reader). A cancelled read reports nothing.
void ReportLostLink(const ReadContext& context, bool clearSetIdAnswered);

}  // namespace tarnex
