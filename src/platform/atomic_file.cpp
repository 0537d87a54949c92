#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>
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

// The hook runs outside the lock, so that it may itself replace a file, as a second writer
// would in the middle of this replacement.
bool Injected(AtomicFileStep step) {
  AtomicFileFaultHook hook;
  {
    std::lock_guard lock(HookMutex());
    hook = Hook();
  }
  return hook && hook(step);
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

std::string NameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links to the file they name, so that the replacement lands there and the
// link stays a link. A link to a missing file gives that file's path: the write creates it.
// Past the kernel's own limit of links in a row the path is returned as it is.
std::string ThroughLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 2);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
    const std::string next(target.data(), static_cast<size_t>(n));
    path = next.front() == '/' || path.find('/') == std::string::npos ? next
                                                                      : FolderOf(path) + "/" + next;
  }
  return path;
}

// A temporary is named ".<name>.tmp-XXXXXX" (mkostemp fills the X with letters and digits):
// hidden, and marked so that it cannot be taken for a copy an operator keeps beside the file,
// such as "<name>.backup" or "<name>.201224".
constexpr std::string_view kTempInfix = ".tmp-";
constexpr size_t kTempSuffix = 6;

std::string TempPattern(const std::string& path) {
  return FolderOf(path) + "/." + NameOf(path) + std::string(kTempInfix) +
         std::string(kTempSuffix, 'X');
}

// Temporaries this process is filling right now; a clean-up must not take them.
std::mutex& LiveMutex() {
  static std::mutex mutex;
  return mutex;
}

std::set<std::string>& LiveTemps() {
  static std::set<std::string> names;
  return names;
}

bool IsTempOf(std::string_view entry, std::string_view name) {
  const size_t marked = 1 + name.size() + kTempInfix.size();
  if (entry.size() != marked + kTempSuffix || entry.front() != '.' ||
      entry.substr(1, name.size()) != name ||
      entry.substr(1 + name.size(), kTempInfix.size()) != kTempInfix) {
    return false;
  }
  for (const char c : entry.substr(marked)) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum) return false;
  }
  return true;
}

// A replacement cut short by a kill leaves its temporary behind; the next replacement of the
// same file removes such leftovers: regular files of exactly the temporary's pattern in the
// folder where they are made, none that a replacement of this process is still filling.
void RemoveStaleTemps(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string name = NameOf(path);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    if (IsTempOf(entry->d_name, name)) stale.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::lock_guard lock(LiveMutex());
  for (const std::string& entry : stale) {
    const std::string full = folder + "/" + entry;
    struct stat info {};
    if (LiveTemps().count(full) != 0 || ::lstat(full.c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode)) {
      continue;
    }
    ::unlink(full.c_str());
  }
}

mode_t CurrentUmask() {
  // umask can only be read by setting it; restore it at once.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

mode_t TargetMode(const struct stat* existing, mode_t requested) {
  if (requested != kKeepMode) return requested;
  if (existing != nullptr) return existing->st_mode & 07777;
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

bool WriteFileAtomically(const std::string& linkedPath, std::string_view content, mode_t mode) {
  const std::string path = ThroughLinks(linkedPath);
  struct stat existing {};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  // A file whose owner may not write it was made read-only on purpose. Neither the kernel
  // nor access(2) stops the replacement (a rename asks only the folder, and root may write
  // anything), so the mode bits decide, the same for every user.
  if (exists && (existing.st_mode & S_IWUSR) == 0) return false;
  RemoveStaleTemps(path);
  const mode_t target = TargetMode(exists ? &existing : nullptr, mode);
  const std::string temp = TempPattern(path);
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  if (Injected(AtomicFileStep::kCreateTemp)) return false;
  int fd;
  {
    std::lock_guard lock(LiveMutex());
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    LiveTemps().insert(name.data());
  }
  const bool filled = FillTemp(fd, content, target);
  const bool closed = ::close(fd) == 0;
  const bool renamed = filled && closed && !Injected(AtomicFileStep::kRename) &&
                       ::rename(name.data(), path.c_str()) == 0;
  if (!renamed) ::unlink(name.data());
  {
    std::lock_guard lock(LiveMutex());
    LiveTemps().erase(name.data());
  }
  if (renamed) SyncFolder(path);
  return renamed;
}

}  // namespace tarnex
