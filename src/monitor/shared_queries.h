#pragma once

#include <optional>
#include <string>

#include "console/console_core.h"

namespace tarnex {

// The input query, the pages' link check: the reply, after recording that the input was read;
// nothing when the display was silent, which is reported as a lost link (ReportLostLink with
// `clearSetIdAnswered`).
std::optional<std::string> AskInput(CConsoleCore& core, bool clearSetIdAnswered);

// 1 when the selected display reports a signal ("a 01 OK01x"), otherwise 0.
int QuerySignal(CConsoleCore& core);

// The link check of the pages other than Control: the input query. An answer records that the
// input was read and, when `inputPosition` is given, stores there the input it names (in input
// list A order), for the Control page to show when it next shows its values; returns 1.
// Silence is a lost link (ReportLostLink); returns 0.
int CheckInput(CConsoleCore& core, std::optional<int>* inputPosition = nullptr);

}  // namespace tarnex
