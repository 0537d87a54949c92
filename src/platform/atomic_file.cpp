#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
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
// folder where they are made, none that a replacement of this process is still filling. It
// runs only under the folder's exclusive lock (see FolderLock), so the temporaries of other
// live writers are never among them.
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

// Every replacement holds a shared flock on the folder where its temporary lives for as long
// as the temporary exists, and a clean-up runs only when it gets the exclusive one, that is
// when no other writer, of any process or user, is filling a temporary there. The kernel drops
// the locks of a process that dies, so a leftover is cleared by the next save. The folder
// itself is locked, not a lock file beside the target, so that no file is added to folders an
// operator keeps. Where the folder cannot be locked (a file system without flock) nothing is
// cleared and the replacement goes on as before.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~FolderLock() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool Exclusive() { return m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0; }

  // A clean-up in another process holds the exclusive lock for one folder scan; a writer waits
  // that long, but never past a second: a stopped process must not hold every save.
  void Shared() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (m_fd >= 0 && ::flock(m_fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

 private:
  int m_fd;
};

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

// A file whose owner may not write it was made read-only on purpose: root, whom the system
// lets write anything, keeps off it too. Otherwise the system decides for this user, its groups
// and any ACL: the rename itself asks only the folder, so without this an operator could replace
// root's file in a folder open to all.
bool MayReplace(const std::string& path, const struct stat& existing) {
  return (existing.st_mode & S_IWUSR) != 0 &&
         ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// The temporary belongs to whoever runs this; a replacement must not hand a file over to them
// (root saving an operator's file, an operator saving a group-writable one). Where the owner
// cannot be kept, the file is not replaced.
bool KeepOwner(int fd, const struct stat* existing) {
  if (existing == nullptr) return true;
  struct stat made {};
  if (::fstat(fd, &made) != 0) return false;
  if (made.st_uid == existing->st_uid && made.st_gid == existing->st_gid) return true;
  return ::fchown(fd, existing->st_uid, existing->st_gid) == 0;
}

bool FillTemp(int fd, std::string_view content, mode_t mode, const struct stat* existing) {
  if (Injected(AtomicFileStep::kWrite) || !WriteAll(fd, content)) return false;
  // A change of owner clears the set-ID bits, so the mode is set after it.
  if (!KeepOwner(fd, existing) || ::fchmod(fd, mode) != 0) return false;
  return !Injected(AtomicFileStep::kSync) && ::fsync(fd) == 0;
}

}  // namespace

void SetAtomicFileFaultHook(AtomicFileFaultHook hook) {
  std::lock_guard lock(HookMutex());
  Hook() = std::move(hook);
}

bool WriteFileAtomically(const std::string& givenPath, std::string_view content, mode_t mode,
                         AtomicLinks links) {
  const std::string path = links == AtomicLinks::kFollow ? ThroughLinks(givenPath) : givenPath;
  // A link left in place of a file that must not be written through is replaced as a name.
  struct stat found {};
  const bool exists = ::lstat(path.c_str(), &found) == 0 && !S_ISLNK(found.st_mode);
  if (exists && !MayReplace(path, found)) return false;
  const struct stat* existing = exists ? &found : nullptr;
  FolderLock lock(FolderOf(path));
  if (lock.Exclusive()) RemoveStaleTemps(path);
  lock.Shared();
  const mode_t target = TargetMode(existing, mode);
  const std::string temp = TempPattern(path);
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  if (Injected(AtomicFileStep::kCreateTemp)) return false;
  int fd;
  {
    std::lock_guard guard(LiveMutex());
    fd = ::mkostemp(name.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    LiveTemps().insert(name.data());
  }
  const bool filled = FillTemp(fd, content, target, existing);
  const bool closed = ::close(fd) == 0;
  const bool renamed = filled && closed && !Injected(AtomicFileStep::kRename) &&
                       ::rename(name.data(), path.c_str()) == 0;
  if (!renamed) ::unlink(name.data());
  {
    std::lock_guard guard(LiveMutex());
    LiveTemps().erase(name.data());
  }
  if (renamed) SyncFolder(path);
  return renamed;
}

}  // namespace tarnex
