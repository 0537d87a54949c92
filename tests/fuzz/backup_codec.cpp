// The backup codec: whatever a display answers, or a backup file holds, every restore command
// stays inside one frame.
#include "monitor/backup_codec.h"
#include "fuzz_support.h"
#include "protocol/command_catalogue.h"

using namespace tarnex;

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Printable ASCII and one line feed, at the end.
void CheckFrame(const std::string& command) {
  TARNEX_FUZZ_CHECK(!command.empty() && command.back() == '\n');
  TARNEX_FUZZ_CHECK(fuzz::Printable(std::string_view(command).substr(0, command.size() - 1)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  fuzz::Input input(data, size);
  // Keys past the table are asked for too: they must give nothing, not read past it.
  const size_t key = input.Byte() % (protocol::kBackupQueryCount + 4);
  const std::string_view value = input.Field(16);
  const std::string_view reply = input.Rest();

  const size_t length = BackupReplyDataLength(key);
  TARNEX_FUZZ_CHECK(length == 2 || length == 4 || length == 6);

  if (const auto kept = BackupValueFromReply(key, reply)) {
    TARNEX_FUZZ_CHECK(key < protocol::kBackupQueryCount);
    TARNEX_FUZZ_CHECK(kept->size() == 2 || kept->size() == 4 || kept->size() == 6);
    for (const char c : *kept) TARNEX_FUZZ_CHECK(IsHexDigit(c));
    // What a backup keeps restores.
    const auto command = RestoreCommand(key, *kept);
    TARNEX_FUZZ_CHECK(command.has_value());
    CheckFrame(*command);
  }
  IsOddLengthReply(reply);

  if (const auto command = RestoreCommand(key, value)) {
    TARNEX_FUZZ_CHECK(key < protocol::kBackupQueryCount);
    CheckFrame(*command);
    TARNEX_FUZZ_CHECK(command->compare(0, 6, protocol::kBackupQueries[key].substr(0, 6)) == 0);
  }
  TARNEX_FUZZ_CHECK(BackupRetryTrace(key) != nullptr);
  return 0;
}
