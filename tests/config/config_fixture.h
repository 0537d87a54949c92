#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "config/network_manager_doc.h"
#include "platform/scratch_folder.h"

namespace tarnex::testing {

// Every test gets its own configuration folder through TARNEX_CONFIG_DIR.
class ConfigTest : public ::testing::Test {
 protected:
  ConfigTest() { ::setenv("TARNEX_CONFIG_DIR", m_folder.Path().c_str(), 1); }
  ~ConfigTest() override { ::unsetenv("TARNEX_CONFIG_DIR"); }

  std::string NetworkFile() const { return m_folder.File("QXMNTConfig.ini"); }
  std::string SerialFile() const { return m_folder.File("QXMNTSerialConfig.ini"); }
  std::string LoginFile() const { return m_folder.File("QXMNTLoginConfig.ini"); }
  std::string PjlinkPasswordsFile() const { return m_folder.File("QXMNTPjlinkPasswords.txt"); }

  ScratchFolder m_folder;
};

}  // namespace tarnex::testing
