#pragma once

#include "console/console_core.h"

namespace tarnex {

class CControl;

// 1 when the selected display reports a signal ("a 01 OK01x"), otherwise 0.
int QuerySignal(CConsoleCore& core);

// The link check of the pages other than Control: the input query. An answer records that the
// input was read and, when `control` is given, stores the input (in input list A order) as the
// Control page's selection, shown when that page next shows its values; returns 1. Silence is
// a lost link (ReportLostLink); returns 0. A null `control` is the check without storing.
int CheckInput(CConsoleCore& core, CControl* control);

}  // namespace tarnex
