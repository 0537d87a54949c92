#include "display-sim/pseudo_terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

namespace tarnex::sim {
namespace {

std::system_error Failure(const std::string& what) {
  return std::system_error(errno, std::generic_category(), "display-sim: " + what);
}

std::string LinkTarget(const std::string& path) {
  std::array<char, 4096> buffer{};
  const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size() - 1);
  return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
  termios raw{};
  ::cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  std::array<char, 256> name{};
  if (::openpty(&master_, &device_, name.data(), &raw, nullptr) != 0) {
    throw Failure("cannot open a pseudo-terminal");
  }
  path_ = name.data();
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(device_, F_SETFD, FD_CLOEXEC);
  const int flags = ::fcntl(master_, F_GETFL);
  if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
    const std::system_error error = Failure("cannot make the pseudo-terminal non-blocking");
    ::close(master_);
    ::close(device_);
    throw error;
  }
}

PseudoTerminal::~PseudoTerminal() {
  ::close(master_);
  ::close(device_);
}

DeviceLink::DeviceLink(std::string linkPath, std::string target)
    : link_(std::move(linkPath)), target_(std::move(target)) {
  struct stat existing {};
  if (::lstat(link_.c_str(), &existing) == 0) {
    if (!S_ISLNK(existing.st_mode)) {
      errno = EEXIST;
      throw Failure(link_ + " exists and is not a symbolic link");
    }
    if (::unlink(link_.c_str()) != 0) throw Failure("cannot replace " + link_);
  }
  if (::symlink(target_.c_str(), link_.c_str()) != 0) {
    throw Failure("cannot link " + link_ + " to " + target_);
  }
}

DeviceLink::~DeviceLink() {
  // Another simulator may have taken the name over meanwhile; its link stays.
  if (LinkTarget(link_) == target_) ::unlink(link_.c_str());
}

}  // namespace tarnex::sim
