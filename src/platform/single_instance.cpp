#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tarnex {
namespace {

// FNV-1a: the lock file name must be the same for every process and every build that runs
// the same executable path, which std::hash does not promise.
std::uint64_t PathHash(std::string_view path) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : path) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

// The user id is part of the name, so that in a shared /tmp another user's file neither
// blocks this user's console nor is written by it.
std::string LockPath(const std::string& folder, std::string_view executablePath,
                     const char* suffix) {
  std::array<char, 96> name{};
  std::snprintf(name.data(), name.size(), "tarnex-manager-%u-%016llx%s",
                static_cast<unsigned>(::getuid()),
                static_cast<unsigned long long>(PathHash(executablePath)), suffix);
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name.data();
}

// Close-on-exec, so that a program the console starts never inherits the lock; no-follow, so
// that a planted link cannot make the console create or truncate another file.
int OpenLockFile(const std::string& path) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

bool TryLock(int fd) {
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

SingleInstance::SingleInstance(std::string_view executablePath, std::string folder)
    : m_instancePath(LockPath(folder, executablePath, ".lock")),
      m_messagePath(LockPath(folder, executablePath, ".message.lock")) {}

SingleInstance::~SingleInstance() {
  CloseFd(m_messageFd);
  CloseFd(m_instanceFd);
}

SingleInstance::Outcome SingleInstance::Acquire() {
  if (m_instanceFd < 0) m_instanceFd = OpenLockFile(m_instancePath);
  if (m_instanceFd < 0) return Outcome::kError;
  if (TryLock(m_instanceFd)) return Outcome::kFirst;

  if (m_messageFd < 0) m_messageFd = OpenLockFile(m_messagePath);
  if (m_messageFd < 0) return Outcome::kError;
  return TryLock(m_messageFd) ? Outcome::kTellOperator : Outcome::kEndSilently;
}

void SingleInstance::ReleaseMessage() {
  CloseFd(m_messageFd);
}

std::string RuntimeLockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] != '\0') return runtime;
  return "/tmp";
}

std::string CurrentExecutablePath() {
  std::array<char, 4096> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  return std::string(buffer.data(), static_cast<size_t>(length));
}

}  // namespace tarnex
