#include "protocol/command_frame.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace tarnex::protocol {
namespace {

std::optional<int> HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

}  // namespace

std::string FormatHex2(int value) {
  char buffer[16];
  const int n = std::snprintf(buffer, sizeof buffer, "%2x", static_cast<unsigned>(value));
  return std::string(buffer, static_cast<size_t>(n));
}

std::string FormatDec2(int value) {
  char buffer[16];
  const int n = std::snprintf(buffer, sizeof buffer, "%2d", value);
  return std::string(buffer, static_cast<size_t>(n));
}

std::string BuildQuery(std::string_view letters) {
  std::string command(letters);
  command += " 01 ff\n";
  return command;
}

std::string BuildSetValue(std::string_view letters, int value) {
  std::string command(letters);
  command += " 01 ";
  command += FormatHex2(value);
  command += '\n';
  return command;
}

std::string SubstituteSetId(std::string_view command, std::string_view setId) {
  std::string copy(command);
  if (setId.size() == 2 && copy.size() >= kSetIdPos + 2) {
    copy[kSetIdPos] = setId[0];
    copy[kSetIdPos + 1] = setId[1];
  }
  return copy;
}

std::optional<std::string> DeriveSetId(std::string_view setNumber) {
  while (!setNumber.empty() && (setNumber.front() == ' ' || setNumber.front() == '\t')) {
    setNumber.remove_prefix(1);
  }
  int base = 10;
  if (setNumber.size() > 2 && setNumber[0] == '0' && (setNumber[1] == 'x' || setNumber[1] == 'X')) {
    base = 16;
    setNumber.remove_prefix(2);
  }
  unsigned value = 0;
  const auto [end, error] =
      std::from_chars(setNumber.data(), setNumber.data() + setNumber.size(), value, base);
  if (error != std::errc() || end == setNumber.data() || value > 0xff) return std::nullopt;
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%x", value);
  std::string id(buffer);
  if (id.size() == 1) id.insert(id.begin(), '0');
  return id;
}

bool IsReplyComplete(std::string_view received) {
  if (received.size() < kMinReplyLength) return false;
  const char last = received.back();
  if (last == 'x' || last == '\r') return true;
  return received.size() >= 2 && received[received.size() - 2] == 'x';
}

size_t StaleReplyLength(std::string_view received, std::string_view commandLetters) {
  // "<letter> <id> OK<hex>x" or "NG": the set ID is two characters, the data hexadecimal.
  if (commandLetters.size() < 2 || received.size() < 8) return 0;
  if (received[0] == commandLetters[1] || received[1] != ' ' || received[4] != ' ') return 0;
  const std::string_view ack = received.substr(kAckPos, 2);
  if (ack != "OK" && ack != "NG") return 0;
  size_t end = kAckPos + 2;
  while (end < received.size() && std::isxdigit(static_cast<unsigned char>(received[end]))) ++end;
  if (end >= received.size() || received[end] != 'x') return 0;
  ++end;
  while (end < received.size() && (received[end] == '\r' || received[end] == '\n')) ++end;
  return end;
}

std::string_view ReplyText(std::string_view received) {
  const size_t nul = received.find('\0');
  return nul == std::string_view::npos ? received : received.substr(0, nul);
}

bool MatchesReply(std::string_view reply, std::string_view expected) {
  // strncmp over ten characters: a shorter text must match to its end.
  reply = ReplyText(reply);
  return reply.substr(0, kMatchLength) == expected.substr(0, kMatchLength);
}

std::optional<size_t> MatchReply(std::string_view reply,
                                 std::span<const std::string_view> expected) {
  for (size_t i = 0; i < expected.size(); ++i) {
    if (MatchesReply(reply, expected[i])) return i;
  }
  return std::nullopt;
}

std::optional<int> ReadNumericReply(std::string_view reply) {
  reply = ReplyText(reply);
  if (reply.size() < kValuePos + 2) return std::nullopt;
  const auto high = HexDigit(reply[kValuePos]);
  const auto low = HexDigit(reply[kValuePos + 1]);
  if (!high || !low) return std::nullopt;
  return *high * 16 + *low;
}

std::optional<std::string_view> AckPart(std::string_view reply) {
  reply = ReplyText(reply);
  if (reply.size() < kAckPos) return std::nullopt;
  return reply.substr(kAckPos);
}

}  // namespace tarnex::protocol
