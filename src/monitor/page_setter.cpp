#include "monitor/page_setter.h"

#include <string>

#include "console/command_transaction.h"
#include "monitor/page_state.h"

namespace tarnex {

std::string_view PageSetter::CommandAt(int position) const {
  if (position < 0 || static_cast<size_t>(position) >= m_commands.size()) return {};
  return m_commands[static_cast<size_t>(position)];
}

bool PageSetter::Post(CConsoleCore& core, int position) const {
  const std::string_view command = CommandAt(position);
  if (command.empty()) return false;
  return PostToTarget(core, command);
}

bool PostToTarget(CConsoleCore& core, std::string_view command) {
  if (!TargetConnected(core)) return false;
  PostToSelection(core, command);
  return true;
}

void PostToSelection(CConsoleCore& core, std::string_view command) {
  CommandTarget target = core.Transaction().CaptureTarget();
  JobKeys keys = target.Keys();
  core.Jobs().Post(std::move(keys),
                   [&core, command = std::string(command), target = std::move(target)] {
                     core.Transaction().SendCommand(command, target);
                   });
}

}  // namespace tarnex
