// The backup file loader on any file the operator may choose, and the restore commands built
// from what it read: a file saved again reads back the same values.
#include "config/backup_file.h"
#include "fuzz_support.h"
#include "monitor/backup_codec.h"

using namespace tarnex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  static const fuzz::ScratchFile file("backup.ini");
  file.Write(std::string_view(reinterpret_cast<const char*>(data), size));

  const BackupRead read = ReadBackupFile(file.Path());
  TARNEX_FUZZ_CHECK(read.readable);
  TARNEX_FUZZ_CHECK(read.emptyKeys >= 0 && read.emptyKeys <= static_cast<int>(read.values.size()));
  int empty = 0;
  for (size_t key = 0; key < read.values.size(); ++key) {
    const std::string& value = read.values[key];
    TARNEX_FUZZ_CHECK(value.size() <= kBackupValueMaxChars);
    TARNEX_FUZZ_CHECK(value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    if (value.empty()) ++empty;
    if (const auto command = RestoreCommand(key, value)) {
      TARNEX_FUZZ_CHECK(command->back() == '\n');
      TARNEX_FUZZ_CHECK(fuzz::Printable(std::string_view(*command).substr(0, command->size() - 1)));
    }
  }
  TARNEX_FUZZ_CHECK(empty == read.emptyKeys);

  // Saved into the same file, the values read back unchanged, and other content stays.
  TARNEX_FUZZ_CHECK(WriteBackupFile(file.Path(), read.values));
  const BackupRead again = ReadBackupFile(file.Path());
  TARNEX_FUZZ_CHECK(again.readable && again.values == read.values);
  return 0;
}
