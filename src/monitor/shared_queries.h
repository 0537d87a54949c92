#pragma once

#include <optional>

#include "console/console_core.h"

namespace tarnex {

// 1 when the selected display reports a signal ("a 01 OK01x"), otherwise 0.
int QuerySignal(CConsoleCore& core);

// The link check of the pages other than Control: the input query. An answer records that the
// input was read and, when `inputPosition` is given, stores there the input it names (in input
// list A order), for the Control page to show when it next shows its values; returns 1.
// Silence is a lost link (ReportLostLink); returns 0.
int CheckInput(CConsoleCore& core, std::optional<int>* inputPosition = nullptr);

}  // namespace tarnex
