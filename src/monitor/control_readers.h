#pragma once

#include <optional>

#include "console/console_core.h"

namespace tarnex {

// What one refresh of the Control page read: a list position for each setting that the
// display reported, nothing for one it did not.
struct ControlReadings {
  std::optional<int> input;
  std::optional<int> monitorOut;
  std::optional<int> mute;
};

// The Control page's input reader, its link check: 1 when the display answered, with the
// input it names in `input` (by the list of the display kind); silence is a lost link.
int ReadControlInput(CConsoleCore& core, std::optional<int>* input);

// The Control page's refresh on the console's worker: the input check when the page is on
// top, then, once it passed, the monitor output and the screen mute, behind the progress
// popup.
ControlReadings ReadControlPage(CConsoleCore& core, bool onTop);

}  // namespace tarnex
