#include "platform/owner_link.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;

std::string Hash(std::string_view folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  std::uint64_t hash = 14695981039346656037ULL;
  for (unsigned char c : folder) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// Why a folder could not be opened as one, for the operator. lstat only words the message;
// the decision was the open's.
std::string Unopenable(const std::string& folder, int failure) {
  struct stat info {};
  if (::lstat(folder.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    return folder + " is a symbolic link";
  }
  if (failure == ENOTDIR) return folder + " is not a folder";
  return "cannot examine " + folder + ": " + std::strerror(failure);
}

// Anybody who could place files in the folder could stand in for the owner. The folder is
// judged through a descriptor of its own, so nothing can be swapped in between the look and
// the decision; O_DIRECTORY also keeps a FIFO put in its place from blocking the open. A
// folder we just made may have lost bits to the umask and is set 0700; one that was there
// already is never changed, only refused.
std::string CheckFolder(const std::string& folder, bool created) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Unopenable(folder, errno);
  struct stat info {};
  std::string error;
  if (::fstat(fd, &info) != 0) {
    error = "cannot examine " + folder + ": " + std::strerror(errno);
  } else if (!S_ISDIR(info.st_mode)) {
    error = folder + " is not a folder";
  } else if (info.st_uid != ::geteuid()) {
    error = folder + " belongs to another user";
  } else if (created) {
    if ((info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
      error = "cannot make " + folder + " private: " + std::strerror(errno);
    }
  } else if ((info.st_mode & 077) != 0) {
    error = folder + " is open to other users";
  }
  ::close(fd);
  return error;
}

// Rounded up: a poll that ended a fraction of a millisecond early would otherwise be called
// again with 0 and spin until the deadline.
int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 60000));
}

bool Readable(int fd) {
  if (fd < 0) return false;
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, 0) > 0;
}

bool Address(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

OwnerPathsResult OwnerPathsFor(std::string_view configFolder) {
  OwnerPathsResult result;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string folder = runtime != nullptr && *runtime != '\0'
                                 ? std::string(runtime) + "/tarnex-manager"
                                 : "/tmp/tarnex-manager-" + std::to_string(::geteuid());
  const bool created = ::mkdir(folder.c_str(), 0700) == 0;
  if (!created && errno != EEXIST) {
    result.error = "cannot make " + folder + ": " + std::strerror(errno);
    return result;
  }
  result.error = CheckFolder(folder, created);
  if (!result.error.empty()) return result;
  // One folder named two ways (relative, through a link, with "./") is one owner: the console
  // and a script told --config differently still meet at one lock.
  std::string named(configFolder);
  if (char* real = ::realpath(named.c_str(), nullptr)) {
    named = real;
    std::free(real);
  }
  const std::string base = folder + "/owner-" + Hash(named);
  result.paths = OwnerPaths{folder, base + ".lock", base + ".sock"};
  return result;
}

OwnerLock::OwnerLock(std::string path) : m_path(std::move(path)) {}

OwnerLock::~OwnerLock() {
  Release();
}

OwnerLock::Outcome OwnerLock::TryTake() {
  if (Held()) return Outcome::kTaken;
  if (m_fd < 0) {
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) return Outcome::kError;
  }
  if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
    m_held = true;
    return Outcome::kTaken;
  }
  return errno == EWOULDBLOCK ? Outcome::kHeld : Outcome::kError;
}

OwnerLock::Outcome OwnerLock::TakeWithin(std::chrono::milliseconds wait, int cancelFd) {
  const auto deadline = Clock::now() + wait;
  for (;;) {
    if (Held()) return Outcome::kTaken;
    // Whoever cancelled has given up on the lock: taking it now would keep it from the next.
    if (Readable(cancelFd)) return Outcome::kCancelled;
    const Outcome outcome = TryTake();
    if (outcome != Outcome::kHeld) return outcome;
    const int left = MillisecondsUntil(deadline);
    if (left == 0) return Outcome::kHeld;
    pollfd entry{cancelFd, POLLIN, 0};
    if (::poll(&entry, cancelFd >= 0 ? 1 : 0, std::min(left, 100)) > 0) {
      return Outcome::kCancelled;
    }
  }
}

void OwnerLock::Release() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_held = false;
}

int ListenOwnerSocket(const std::string& path, std::string* error) {
  sockaddr_un address;
  if (!Address(path, address)) {
    if (error) *error = "the socket path is too long: " + path;
    return -1;
  }
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode)) {
      if (error) *error = path + " is there and is no socket";
      return -1;
    }
    ::unlink(path.c_str());
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0 || ::fchmod(fd, 0600) != 0 ||
      ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0) {
    if (error) *error = "cannot listen at " + path + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return -1;
  }
  return fd;
}

int ConnectOwnerSocket(const std::string& path, std::chrono::milliseconds wait) {
  sockaddr_un address;
  if (!Address(path, address)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const auto deadline = Clock::now() + wait;
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    // A local connect completes at once or fails at once; a full backlog says EAGAIN. An
    // interrupted one leaves the socket in no known state, so the next try takes a fresh one.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    const int failure = errno;
    ::close(fd);
    const int left = MillisecondsUntil(deadline);
    if ((failure != ECONNREFUSED && failure != ENOENT && failure != EAGAIN && failure != EINTR) ||
        left == 0) {
      errno = failure;
      return -1;
    }
    if (failure != EINTR) ::poll(nullptr, 0, std::min(left, 50));
  }
}

std::optional<uid_t> PeerUid(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return std::nullopt;
  return credentials.uid;
}

LineRead ReadLineWithin(int fd, std::string& pending, std::string& line, size_t maxBytes,
                        Clock::time_point deadline, int cancelFd) {
  line.clear();
  for (;;) {
    const size_t end = pending.find('\n');
    if (end != std::string::npos) {
      if (end > maxBytes) return LineRead::kTooLong;
      line.assign(pending, 0, end);
      pending.erase(0, end + 1);
      return LineRead::kLine;
    }
    if (pending.size() > maxBytes) return LineRead::kTooLong;
    if (Readable(cancelFd)) return LineRead::kCancelled;
    pollfd entries[2] = {{fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
    const int ready = ::poll(entries, cancelFd >= 0 ? 2 : 1, MillisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return LineRead::kError;
    if (ready == 0) {
      if (Clock::now() >= deadline) return LineRead::kTimedOut;
      continue;
    }
    if (cancelFd >= 0 && entries[1].revents != 0) return LineRead::kCancelled;
    // Never more than one byte past the longest line allowed is held, however much the peer
    // sends without a '\n'. MSG_DONTWAIT: a readiness that went away must not block.
    char buffer[16384];
    const size_t room = std::min(sizeof buffer - 1, maxBytes - pending.size()) + 1;
    const ssize_t got = ::recv(fd, buffer, room, MSG_DONTWAIT);
    if (got == 0) return LineRead::kClosed;
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return LineRead::kError;
    }
    pending.append(buffer, static_cast<size_t>(got));
  }
}

bool WriteAllWithin(int fd, std::string_view bytes, Clock::time_point deadline) {
  while (!bytes.empty()) {
    // MSG_DONTWAIT, so that a blocking descriptor cannot hold the writer past the deadline.
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<size_t>(sent));
      continue;
    }
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    if (Clock::now() >= deadline) return false;
    pollfd entry{fd, POLLOUT, 0};
    ::poll(&entry, 1, MillisecondsUntil(deadline));
  }
  return true;
}

}  // namespace tarnex
