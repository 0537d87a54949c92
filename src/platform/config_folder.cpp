#include "platform/config_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace tarnex {
namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

// mkdir -p; folders that exist already are fine.
void MakeFolders(const std::string& folder, mode_t mode) {
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != '/') continue;
    const std::string prefix = folder.substr(0, at);
    if (::mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) return;
  }
}

std::string ExecutableFolder() {
  std::vector<char> path(4096);
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return {};
  const std::string exe(path.data(), static_cast<size_t>(length));
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

std::string UserConfigHome() {
  // XDG base directories must be absolute; a relative value is ignored.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return WithSlash(xdg);
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    const passwd* user = ::getpwuid(::getuid());
    home = user != nullptr ? user->pw_dir : "/tmp";
  }
  return WithSlash(home) + ".config/";
}

// An installation puts the desktop entry beside the programs' folder (<prefix>/bin and
// <prefix>/share/applications), which a build tree or an unpacked copy does not have.
bool IsInstalledIn(const std::string& exeFolder) {
  const std::string entry = exeFolder + "../share/applications/" TARNEX_APP_ID ".desktop";
  return ::access(entry.c_str(), F_OK) == 0;
}

}  // namespace

std::string ConfigFolderBeside(const std::string& exeFolder) {
  const char* chosen = std::getenv("TARNEX_CONFIG_DIR");
  if (chosen != nullptr && chosen[0] != '\0') {
    const std::string folder = WithSlash(chosen);
    MakeFolders(folder, 0755);
    return folder;
  }
  // An installed copy never writes beside itself, even where it could (run as root).
  if (!exeFolder.empty() && ::access(exeFolder.c_str(), W_OK) == 0 && !IsInstalledIn(exeFolder)) {
    return exeFolder;
  }
  const std::string folder = UserConfigHome() + "tarnex-manager/";
  MakeFolders(folder, 0700);
  return folder;
}

std::string ConfigFolder() {
  return ConfigFolderBeside(ExecutableFolder());
}

}  // namespace tarnex
