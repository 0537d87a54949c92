#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scripting/script_request.h"

namespace tarnex::ctl {

struct Arguments {
  enum class Action { kRun, kHelp, kVersion, kUsageError };
  Action action = Action::kRun;
  bool json = false;
  std::string configFolder;  // empty: found as the console finds it
  ScriptRequest request;
  std::string error;  // kUsageError: what was wrong
};

// The command line without the program's name. Everything the command line can check is
// checked here, before any file is read or any display is named.
Arguments ReadArguments(const std::vector<std::string>& arguments);

std::string UsageText();
std::string VersionText();

}  // namespace tarnex::ctl
