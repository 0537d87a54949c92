#pragma once

#include <sys/stat.h>

#include <fstream>
#include <string>

#include "app/agent_settings.h"
#include "support/mosquitto_broker.h"

namespace tarnex::testing {

// The window's settings for working over the agent of site "site-a" as the broker's
// "operator" user, its password in a 0600 file of `folder`.
inline AgentSettingsRead OperatorOverAgent(const MosquittoBroker& broker,
                                           const std::string& folder) {
  const std::string passwordFile = folder + "operator.pw";
  std::ofstream(passwordFile) << broker.password("operator") << "\n";
  ::chmod(passwordFile.c_str(), 0600);
  AgentSettingsRead read;
  read.settings = {.enabled = true,
                   .broker = broker.host() + ":" + std::to_string(broker.port()),
                   .site = "site-a",
                   .caFile = {},
                   .user = "operator",
                   .passwordFile = passwordFile};
  return read;
}

}  // namespace tarnex::testing
