#pragma once

#include <string>
#include <vector>

#include "agent/site_agent.h"

namespace tarnex::agent {

struct AgentArguments {
  enum class Action { kRun, kHelp, kVersion, kUsageError };
  Action action = Action::kRun;
  AgentOptions options;
  std::string configFolder;  // empty: found as the console finds it
  std::string passwordFile;
  std::string error;  // kUsageError
};

// The command line without the program's name. A password is never taken from it: the
// command lines of every process are readable by every user of the machine.
AgentArguments ReadAgentArguments(const std::vector<std::string>& words);
// The broker's password: the first line of `path` (a regular file of at most 1 KiB that only
// its owner can read), or TARNEX_MQTT_PASSWORD when no file is named. Empty `error` on
// success.
std::string ReadBrokerPassword(const std::string& path, std::string& error);

std::string AgentUsageText();

}  // namespace tarnex::agent
