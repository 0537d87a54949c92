#pragma once

#include <span>
#include <string_view>

#include "console/console_core.h"

namespace tarnex {

// Sends the command of a list position to the selected display or group. A page holds one per
// list that sends on change. Positions without a command (an empty text, or beyond the table)
// send nothing.
class PageSetter {
 public:
  constexpr explicit PageSetter(std::span<const std::string_view> commands)
      : m_commands(commands) {}

  // The command of the position, empty when it has none.
  std::string_view CommandAt(int position) const;
  // From the window: sends only while a target is selected; the target is taken now and the
  // command sent on a console worker, behind what the operator asked of the same displays
  // before. The reply is not examined. True when posted.
  bool Post(CConsoleCore& core, int position) const;

 private:
  std::span<const std::string_view> m_commands;
};

// The page-setter gate shared by buttons, from the window: while a target is selected, the
// selection is taken now and the command goes out on a worker after whatever the operator
// asked of the same displays before. True when posted.
bool PostToTarget(CConsoleCore& core, std::string_view command);
// Posts the command to the selection as it stands now, with no target gate.
void PostToSelection(CConsoleCore& core, std::string_view command);

}  // namespace tarnex
