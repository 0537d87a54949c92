#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

namespace tarnex {
namespace {

std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}

AtomicFileFaultHook& Hook() {
  static AtomicFileFaultHook hook;
  return hook;
}

bool Injected(AtomicFileStep step) {
  std::lock_guard lock(HookMutex());
  return Hook() && Hook()(step);
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    content.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t CurrentUmask() {
  // umask can only be read by setting it; restore it at once.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

mode_t TargetMode(const std::string& path, mode_t requested) {
  if (requested != kKeepMode) return requested;
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) return existing.st_mode & 07777;
  return 0666 & ~CurrentUmask();
}

// The rename is durable only once the folder entry itself reaches the disk. A failure here
// does not undo the replacement, so it is not reported as one.
void SyncFolder(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool FillTemp(int fd, std::string_view content, mode_t mode) {
  if (Injected(AtomicFileStep::kWrite) || !WriteAll(fd, content)) return false;
  if (::fchmod(fd, mode) != 0) return false;
  return !Injected(AtomicFileStep::kSync) && ::fsync(fd) == 0;
}

}  // namespace

void SetAtomicFileFaultHook(AtomicFileFaultHook hook) {
  std::lock_guard lock(HookMutex());
  Hook() = std::move(hook);
}

bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode) {
  const mode_t target = TargetMode(path, mode);
  std::string temp = path + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  if (Injected(AtomicFileStep::kCreateTemp)) return false;
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  const bool filled = FillTemp(fd, content, target);
  const bool closed = ::close(fd) == 0;
  if (!filled || !closed || Injected(AtomicFileStep::kRename) ||
      ::rename(name.data(), path.c_str()) != 0) {
    ::unlink(name.data());
    return false;
  }
  SyncFolder(path);
  return true;
}

}  // namespace tarnex
