#include "config/backup_file.h"

#include "config/profile_file.h"

namespace tarnex {

BackupRead ReadBackupFile(const std::string& path) {
  const ProfileFile file(path);
  BackupRead read;
  read.readable = file.State() != ProfileState::kUnreadable;
  for (size_t key = 0; key < read.values.size(); ++key) {
    std::string value = file.Text(kBackupSection, static_cast<long long>(key));
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
