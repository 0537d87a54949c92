#include "monitor/backup_codec.h"

#include <algorithm>

#include "protocol/command_catalogue.h"

namespace tarnex {
namespace {

constexpr size_t kPrefixLength = 6;  // "ka 01 "
constexpr size_t kDataPos = 7;       // after "a 01 OK"
constexpr size_t kPaddedKeys[] = {42, 51};

constexpr std::string_view PrefixOf(size_t key) {
  return protocol::kBackupQueries[key].substr(0, kPrefixLength);
}

// Every key's prefix is one of the restore prefixes of the protocol.
constexpr bool PrefixesKnown() {
  for (size_t key = 0; key < protocol::kBackupQueryCount; ++key) {
    if (std::find(protocol::kBackupPrefixes.begin(), protocol::kBackupPrefixes.end(),
                  PrefixOf(key)) == protocol::kBackupPrefixes.end()) {
      return false;
    }
  }
  return true;
}
static_assert(PrefixesKnown());

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool AllHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(), IsHex);
}

bool IsPadded(size_t key) {
  return std::find(std::begin(kPaddedKeys), std::end(kPaddedKeys), key) != std::end(kPaddedKeys);
}

std::string_view WithoutLineEnd(std::string_view reply) {
  while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.remove_suffix(1);
  return reply;
}

}  // namespace

size_t BackupKeyFieldChars(size_t key) {
  if (key >= protocol::kBackupQueryCount) return 2;
  // Two characters per field after the prefix: "fa 01 ff ff ff\n" 6, "fu 01 00 ff\n" 2 + 2
  // for the index, "fc 01 ff ff\n" 4.
  const std::string_view query = protocol::kBackupQueries[key];
  return (query.size() - kPrefixLength) / 3 * 2;
}

size_t BackupReplyDataLength(size_t key) {
  if (key >= protocol::kBackupQueryCount || IsPadded(key)) return 2;
  return BackupKeyFieldChars(key);
}

std::optional<std::string> BackupValueFromReply(size_t key, std::string_view reply) {
  if (key >= protocol::kBackupQueryCount) return std::nullopt;
  reply = WithoutLineEnd(reply);
  const size_t length = BackupReplyDataLength(key);
  if (reply.size() != kDataPos + length + 1 || reply.back() != 'x') return std::nullopt;
  if (reply[0] != protocol::kBackupQueries[key][1] || reply[1] != ' ' || reply[4] != ' ' ||
      reply.substr(5, 2) != "OK") {
    return std::nullopt;
  }
  const std::string_view data = reply.substr(kDataPos, length);
  if (!AllHex(data)) return std::nullopt;
  return IsPadded(key) ? "00" + std::string(data) : std::string(data);
}

bool IsOddLengthReply(std::string_view reply) {
  return WithoutLineEnd(reply).size() % 2 != 0;
}

std::optional<std::string> RestoreCommand(size_t key, std::string_view value) {
  if (key >= protocol::kBackupQueryCount) return std::nullopt;
  if ((value.size() != 2 && value.size() != 4 && value.size() != 6) || !AllHex(value) ||
      value.size() > BackupKeyFieldChars(key)) {
    return std::nullopt;
  }
  std::string command(PrefixOf(key));
  for (size_t pair = 0; pair < value.size(); pair += 2) {
    if (pair > 0) command += ' ';
    command.append(value.substr(pair, 2));
  }
  command += '\n';
  return command;
}

const char* BackupRetryTrace(size_t key) {
  return key <= 32 ? "ReTry......." : "retry......";
}

}  // namespace tarnex
