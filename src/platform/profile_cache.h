#pragma once

#include <string>

#include "platform/profile_text.h"

namespace tarnex {

// A file larger than kMaxProfileBytes or longer than kMaxProfileLines cannot be read, so that
// a corrupt or hostile file cannot exhaust memory; the largest configuration of the console is
// about a third of either. Single values are bounded only by the file.
inline constexpr unsigned long kMaxProfileBytes = 64ul * 1024 * 1024;
inline constexpr unsigned long kMaxProfileLines = 2'000'000;

// Who may read a file the layer writes.
enum class ProfileAccess {
  kShared,  // an existing file keeps its mode; a new one gets 0666 less the umask
  // Always 0600: the file holds credentials. Only a file of this user that nobody else may
  // write is read, and a save replaces a symbolic link in its place instead of following it.
  kOwnerOnly,
};

enum class ProfileState {
  kMissing,     // no file: reads give defaults, the first save creates it
  kLoaded,      // read whole
  kUnreadable,  // there, but not a regular file, too large, or refused: never written
};

// One INI file read once and kept parsed by the code that opened it, for as long as it keeps
// this object, so that thousands of reads and writes cost one read and one replacement of the
// file. Nothing is shared: pending edits are seen by their owner alone, and the memory goes
// with the object. Not for use by two threads at once.
//
// The file is opened without blocking and only a regular file is read, so that a FIFO or a
// device put where the file belongs cannot hang the console.
class ProfileCache {
 public:
  explicit ProfileCache(std::string path, ProfileAccess access = ProfileAccess::kShared);

  const std::string& Path() const { return m_path; }
  ProfileState State() const { return m_state; }
  const ProfileText& Text() const { return m_text; }

  // One write as WritePrivateProfileStringA takes it: a null value deletes the key, a null
  // key the whole section; the value is stored as given. Refused (false, nothing changed)
  // for a file that could not be read, a name or value with a line break, or a write that
  // could grow the file past the bounds.
  bool Write(const char* section, const char* key, const char* value);

  // Replaces the file atomically with the edited text, if anything changed; true when it was
  // written or nothing was pending. On failure the file on disk is unchanged and the edits
  // stay pending.
  bool Save();

 private:
  std::string m_path;
  ProfileAccess m_access;
  ProfileState m_state = ProfileState::kMissing;
  ProfileText m_text;
  bool m_dirty = false;
};

// Opens `path` as open(2) does with `flags` plus O_NONBLOCK and O_CLOEXEC, but only when it
// is a regular file; anything else is closed again and gives -1 with errno EINVAL. A missing
// file gives -1 with errno ENOENT (or creates it when `flags` hold O_CREAT).
int OpenRegularFile(const std::string& path, int flags, unsigned mode = 0);

}  // namespace tarnex
