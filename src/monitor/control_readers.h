#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "monitor/read_context.h"

namespace tarnex {

// What one refresh of the Control page read: a list position for each setting that the
// display reported, nothing for one it did not.
struct ControlReadings {
  std::optional<int> input;
  std::optional<int> monitorOut;
  std::optional<int> mute;
  // A PJLink display: the inputs it listed, in the order `input` counts them.
  std::optional<std::vector<std::string>> inputCodes;
  // The input check ran (the page was on top) and how it ended.
  bool checked = false;
  bool answered = false;
  bool cancelled = false;
};

// The Control page's input reader, its link check: 1 when the display answered, with the
// input it names in `input` (by the list of the display kind); silence is a lost link.
int ReadControlInput(const ReadContext& context, std::optional<int>* input,
                     bool shortSerialWait = false);

// The Control page's refresh on a console worker: the input check when the page is on top,
// then, once it passed, the monitor output and the screen mute, behind the progress popup.
ControlReadings ReadControlPage(const ReadContext& context, bool onTop);

// After a refresh has handed its values to the window, the job keeps the display this long
// before its next command goes out, so the operator sees them before anything changes them.
inline constexpr std::chrono::milliseconds kAfterReadPause{200};

}  // namespace tarnex
