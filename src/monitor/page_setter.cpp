#include "monitor/page_setter.h"

#include "console/command_transaction.h"
#include "monitor/page_state.h"

namespace tarnex {

std::string_view PageSetter::CommandAt(int position) const {
  if (position < 0 || static_cast<size_t>(position) >= m_commands.size()) return {};
  return m_commands[static_cast<size_t>(position)];
}

bool PageSetter::Send(CConsoleCore& core, int position) const {
  const std::string_view command = CommandAt(position);
  if (command.empty()) return false;
  return SendToTarget(core, command);
}

bool SendToTarget(CConsoleCore& core, std::string_view command) {
  if (!TargetConnected(core)) return false;
  core.Transaction().SendCommand(command);
  return true;
}

}  // namespace tarnex
