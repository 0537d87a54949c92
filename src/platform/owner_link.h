#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tarnex {

// Where the owner of a configuration folder's display links is found: the lock its owner
// holds and the socket it answers on. Displays may refuse or drop a second connection, so the
// console, a direct tarnexctl run and the site agent agree through these on who connects.
struct OwnerPaths {
  std::string folder;  // the per-user runtime folder, 0700
  std::string lock;    // <folder>/owner-<hash>.lock
  std::string socket;  // <folder>/owner-<hash>.sock
};

struct OwnerPathsResult {
  std::optional<OwnerPaths> paths;
  std::string error;  // why the folder was refused, for the operator
};

// $XDG_RUNTIME_DIR/tarnex-manager/ when XDG_RUNTIME_DIR is set, otherwise
// /tmp/tarnex-manager-<uid>/; created 0700 when missing. Refused when it is a symbolic link,
// not a folder, another user's, or open to group or others: anybody who could place files
// there could stand in for the owner. The hash names the configuration folder (its real
// path when it exists, otherwise as given with a trailing "/" ignored), stable across builds
// and runs.
OwnerPathsResult OwnerPathsFor(std::string_view configFolder);

// The owner lock: an advisory lock (flock) the kernel drops when its holder ends, however it
// ends.
class OwnerLock {
 public:
  enum class Outcome { kTaken, kHeld, kCancelled, kError };

  explicit OwnerLock(std::string path);
  ~OwnerLock();
  OwnerLock(const OwnerLock&) = delete;
  OwnerLock& operator=(const OwnerLock&) = delete;

  // Without waiting: kTaken, or kHeld while another process holds it.
  Outcome TryTake();
  // Tries again every 100 ms until taken, `wait` passed (kHeld) or `cancelFd` readable. A
  // `cancelFd` readable from the start ends it without taking even a free lock.
  Outcome TakeWithin(std::chrono::milliseconds wait, int cancelFd = -1);
  bool Held() const { return m_fd >= 0 && m_held; }
  void Release();
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  int m_fd = -1;
  bool m_held = false;
};

// The owner's listening socket at `path`, mode 0600, close-on-exec, non-blocking accept.
// Only the lock's holder calls it: a file left at `path` by a holder that ended is removed
// first. -1 with `error` set when it cannot listen.
int ListenOwnerSocket(const std::string& path, std::string* error);
// Connects to the owner's socket within `wait`; -1 when nobody listens (errno kept), or with
// ENAMETOOLONG when `path` cannot be a socket's address.
int ConnectOwnerSocket(const std::string& path, std::chrono::milliseconds wait);
// The effective uid of the process at the other end of a connected local socket.
std::optional<uid_t> PeerUid(int fd);

enum class LineRead { kLine, kTooLong, kTimedOut, kClosed, kCancelled, kError };
// Reads up to and including the next '\n' into `line` (without it), at most `maxBytes`
// before it, waiting at most until `deadline`; `cancelFd` readable ends the wait. Bytes after
// the line are kept in `pending` for the next call; no more than `maxBytes` + 1 are held
// without a '\n'. `line` is empty unless kLine is returned.
LineRead ReadLineWithin(int fd, std::string& pending, std::string& line, size_t maxBytes,
                        std::chrono::steady_clock::time_point deadline, int cancelFd = -1);
// Writes all of `bytes` by `deadline` (MSG_NOSIGNAL); false when the peer went or time ran out.
bool WriteAllWithin(int fd, std::string_view bytes, std::chrono::steady_clock::time_point deadline);

}  // namespace tarnex
