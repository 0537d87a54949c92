#include "platform/profile_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"

namespace tarnex {
namespace {

constexpr size_t kEolBytes = 2;

bool ReadWhole(int fd, std::string& data, size_t size) {
  data.resize(size);
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, data.data() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  data.resize(got);
  return true;
}

// A file past the bounds could not be read back, so a write that might grow it that far is
// refused. The estimate is an upper bound of what one write adds.
bool Fits(const ProfileText& text, const char* section, const char* key, const char* value) {
  const size_t added = std::strlen(section) + (key ? std::strlen(key) : 0) +
                       (value ? std::strlen(value) : 0) + 3 * kEolBytes + 3;
  return text.Bytes() + added <= kMaxProfileBytes && text.LineCount() + 3 <= kMaxProfileLines;
}

// A file of credentials that another user owns, or that anyone else may write, may hold what
// someone else put there: it is not read as this user's.
bool Trusted(const struct stat& info, ProfileAccess access) {
  if (access != ProfileAccess::kOwnerOnly) return true;
  return info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

int OpenRegularFile(const std::string& path, int flags, unsigned mode) {
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

ProfileCache::ProfileCache(std::string path, ProfileAccess access)
    : m_path(std::move(path)), m_access(access) {
  const int fd = OpenRegularFile(m_path, O_RDONLY);
  if (fd < 0) {
    m_state = errno == ENOENT ? ProfileState::kMissing : ProfileState::kUnreadable;
    return;
  }
  m_state = ProfileState::kUnreadable;
  struct stat info {};
  std::string data;
  if (::fstat(fd, &info) == 0 && Trusted(info, m_access) &&
      static_cast<unsigned long>(info.st_size) <= kMaxProfileBytes &&
      ReadWhole(fd, data, static_cast<size_t>(info.st_size)) &&
      CountProfileLines(data) <= kMaxProfileLines) {
    m_text = ProfileText(data);
    m_state = ProfileState::kLoaded;
  }
  ::close(fd);
}

bool ProfileCache::Write(const char* section, const char* key, const char* value) {
  if (m_state == ProfileState::kUnreadable || !ValidProfileWrite(section, key, value)) return false;
  if (!Fits(m_text, section, key, value)) return false;
  bool changed;
  if (key == nullptr) {
    changed = m_text.DeleteSection(section);
  } else if (value == nullptr) {
    changed = m_text.Delete(section, key);
  } else {
    changed = m_text.Set(section, key, value);
  }
  m_dirty = m_dirty || changed;
  return true;
}

bool ProfileCache::Save() {
  if (!m_dirty) return true;
  if (m_state == ProfileState::kUnreadable) return false;
  // Credentials are never written through a link: one put in the file's place after it was
  // read would send them wherever it points.
  const bool ownerOnly = m_access == ProfileAccess::kOwnerOnly;
  if (!WriteFileAtomically(m_path, m_text.Serialize(), ownerOnly ? 0600 : kKeepMode,
                           ownerOnly ? AtomicLinks::kReplace : AtomicLinks::kFollow)) {
    return false;
  }
  m_dirty = false;
  m_state = ProfileState::kLoaded;
  return true;
}

}  // namespace tarnex
