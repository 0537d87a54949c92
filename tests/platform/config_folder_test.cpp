#include "platform/config_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/scratch_folder.h"

namespace tarnex {
namespace {

class ConfigDirVariable {
 public:
  explicit ConfigDirVariable(const char* value) {
    if (const char* old = std::getenv("TARNEX_CONFIG_DIR")) m_old = old;
    if (value != nullptr) {
      ::setenv("TARNEX_CONFIG_DIR", value, 1);
    } else {
      ::unsetenv("TARNEX_CONFIG_DIR");
    }
  }
  ~ConfigDirVariable() {
    if (m_old.empty()) {
      ::unsetenv("TARNEX_CONFIG_DIR");
    } else {
      ::setenv("TARNEX_CONFIG_DIR", m_old.c_str(), 1);
    }
  }

 private:
  std::string m_old;
};

TEST(ConfigFolder, VariableWinsWithOneTrailingSlashAndIsCreated) {
  testing::ScratchFolder scratch;
  const std::string nested = scratch.File("conf");
  {
    ConfigDirVariable variable(nested.c_str());
    EXPECT_EQ(ConfigFolder(), nested + "/");
  }
  struct stat info {};
  EXPECT_EQ(::stat(nested.c_str(), &info), 0);
  {
    ConfigDirVariable variable((nested + "/").c_str());
    EXPECT_EQ(ConfigFolder(), nested + "/");
  }
  ::rmdir(nested.c_str());
}

TEST(ConfigFolder, WithoutVariableAWritableExecutableFolder) {
  ConfigDirVariable variable(nullptr);
  char exe[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  std::string folder(exe);
  folder.resize(folder.rfind('/') + 1);
  if (::access(folder.c_str(), W_OK) != 0) GTEST_SKIP() << "test folder not writable";
  EXPECT_EQ(ConfigFolder(), folder);
}

// An installed copy run by root could write into /usr/bin; it must keep to the user's folder.
TEST(ConfigFolder, AnInstalledCopyNeverWritesBesideItself) {
  namespace fs = std::filesystem;
  ConfigDirVariable variable(nullptr);
  testing::ScratchFolder scratch;
  const fs::path prefix = fs::path(scratch.Path()) / "prefix";
  fs::create_directories(prefix / "bin");
  const std::string bin = (prefix / "bin").string() + "/";
  ASSERT_EQ(ConfigFolderBeside(bin), bin) << "an unpacked copy keeps its files beside it";

  fs::create_directories(prefix / "share/applications");
  std::ofstream(prefix / "share/applications/org.tarnex.Manager.desktop") << "[Desktop Entry]\n";
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string keptXdg = oldXdg != nullptr ? oldXdg : "";
  ::setenv("XDG_CONFIG_HOME", (prefix / "xdg").c_str(), 1);
  EXPECT_EQ(ConfigFolderBeside(bin), (prefix / "xdg/tarnex-manager").string() + "/");
  EXPECT_TRUE(fs::is_directory(prefix / "xdg/tarnex-manager"));
  if (oldXdg != nullptr) {
    ::setenv("XDG_CONFIG_HOME", keptXdg.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
  fs::remove_all(prefix);
}

}  // namespace
}  // namespace tarnex
