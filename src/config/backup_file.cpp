#include "config/backup_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "config/profile_file.h"
#include "platform/profile_cache.h"
#include "platform/profile_text.h"

namespace tarnex {

namespace {

enum class Bounded { kRead, kMissing, kUnreadable, kTooLarge };

// The whole file into `data`, or why not.
Bounded ReadBounded(const std::string& path, std::string& data) {
  const int fd = OpenRegularFile(path, O_RDONLY);
  if (fd < 0) return errno == ENOENT ? Bounded::kMissing : Bounded::kUnreadable;
  data.resize(kBackupFileMaxBytes + 1);
  size_t got = 0;
  Bounded result = Bounded::kRead;
  while (got < data.size()) {
    const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) result = Bounded::kUnreadable;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  data.resize(got);
  if (result == Bounded::kRead && got > kBackupFileMaxBytes) result = Bounded::kTooLarge;
  return result;
}

}  // namespace

BackupRead ReadBackupFile(const std::string& path) {
  std::string data;
  const Bounded bounded = ReadBounded(path, data);
  BackupRead read;
  read.readable = bounded == Bounded::kRead || bounded == Bounded::kMissing;
  read.tooLarge = bounded == Bounded::kTooLarge;
  const ProfileText text(read.readable ? std::string_view(data) : std::string_view());
  for (size_t key = 0; key < read.values.size(); ++key) {
    const auto found = text.Value(kBackupSection, DecimalText(static_cast<long long>(key)));
    std::string value(found.value_or(std::string_view()));
    if (value.size() > kBackupValueMaxChars) value.resize(kBackupValueMaxChars);
    if (value.empty()) ++read.emptyKeys;
    read.values[key] = std::move(value);
  }
  return read;
}

bool WriteBackupFile(const std::string& path, const BackupValues& values) {
  ProfileFile file(path);
  if (file.State() == ProfileState::kUnreadable) return false;
  for (size_t key = 0; key < values.size(); ++key) {
    file.Put(kBackupSection, static_cast<long long>(key), values[key]);
  }
  return file.Save();
}

}  // namespace tarnex
