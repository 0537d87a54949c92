#pragma once

#include <array>
#include <string>

#include "protocol/command_catalogue.h"

namespace tarnex {

// A settings backup: one value per backup query, keys "0" to "59" of one INI section. The
// operator chooses the file; it may hold other sections and keys, which are kept.
inline constexpr const char* kBackupSection = "QX_MNT_Log_Data";
// A value read longer than this is cut, as a 300-character buffer would cut it.
inline constexpr size_t kBackupValueMaxChars = 299;
// A file with this many keys empty or missing is no backup at all.
inline constexpr int kBackupEmptyLimit = 6;
// A backup is about 600 bytes: a file a hundred times that is no backup, and is not read.
inline constexpr size_t kBackupFileMaxBytes = 64 * 1024;

// The values of one save or one load, by key; empty for a key without a value.
using BackupValues = std::array<std::string, protocol::kBackupQueryCount>;

struct BackupRead {
  BackupValues values{};
  int emptyKeys = 0;
  bool readable = true;   // false: there, but not a regular file, too large or refused
  bool tooLarge = false;  // larger than kBackupFileMaxBytes
};

// Reads no more than kBackupFileMaxBytes and one byte, so that whatever the operator chooses
// costs neither memory nor time; a file that is not there reads as 60 empty keys. Blocks on
// the disk only: a FIFO or a device is refused unread.
BackupRead ReadBackupFile(const std::string& path);

// Writes the 60 keys in ascending order, replacing the file whole or not at all: an existing
// file keeps its other content, and on any failure it stays as it was. False on failure.
bool WriteBackupFile(const std::string& path, const BackupValues& values);

}  // namespace tarnex
