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
  // Sends only while a target is selected; the reply is not examined. True when sent.
  bool Send(CConsoleCore& core, int position) const;
  // The same from the window: the target is taken now and the command sent on the console's
  // worker. True when posted.
  bool Post(CConsoleCore& core, int position) const;

 private:
  std::span<const std::string_view> m_commands;
};

// The page-setter gate shared by buttons: sends the command when a target is selected.
bool SendToTarget(CConsoleCore& core, std::string_view command);
// The same from the window: the selection is taken now, the command goes out on the worker
// after whatever the operator asked for before. True when posted. `command` must outlive the
// job (the page tables are constant).
bool PostToTarget(CConsoleCore& core, std::string_view command);
// Posts the command to the selection as it stands now, with no target gate.
void PostToSelection(CConsoleCore& core, std::string_view command);

}  // namespace tarnex
