// The reply codec against any bytes a display or a stranger on its port can send.
#include <array>

#include "fuzz_support.h"
#include "protocol/command_frame.h"

using namespace tarnex;
using namespace tarnex::protocol;

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void CheckReply(std::string_view received, std::string_view letters) {
  const std::string_view text = ReplyText(received);
  TARNEX_FUZZ_CHECK(text.size() <= received.size());
  TARNEX_FUZZ_CHECK(text.find('\0') == std::string_view::npos);

  if (IsReplyComplete(received)) TARNEX_FUZZ_CHECK(received.size() >= kMinReplyLength);

  const size_t stale = StaleReplyLength(received, letters);
  TARNEX_FUZZ_CHECK(stale <= received.size());
  if (stale > 0) {
    // A stale reply never answers the command that was sent, and is whole.
    TARNEX_FUZZ_CHECK(stale >= 8 && received[0] != letters[1]);
    std::string_view whole = received.substr(0, stale);
    while (whole.back() == '\n' || whole.back() == '\r') whole.remove_suffix(1);
    TARNEX_FUZZ_CHECK(whole.back() == 'x' && IsReplyComplete(whole));
  }

  if (const auto value = ReadNumericReply(received)) {
    TARNEX_FUZZ_CHECK(*value >= 0 && *value <= 0xff);
    TARNEX_FUZZ_CHECK(IsHexDigit(text[kValuePos]) && IsHexDigit(text[kValuePos + 1]));
  }
  if (const auto ack = AckPart(received)) {
    TARNEX_FUZZ_CHECK(ack->size() + kAckPos == text.size());
  }

  // A reply matches itself, and whatever it matches shares its first ten characters.
  TARNEX_FUZZ_CHECK(MatchesReply(received, text));
  const std::array<std::string_view, 3> expected = {letters, "a 01 OK01x", text.substr(0, 4)};
  if (const auto index = MatchReply(received, expected)) {
    TARNEX_FUZZ_CHECK(*index < expected.size());
    TARNEX_FUZZ_CHECK(text.substr(0, kMatchLength) == expected[*index].substr(0, kMatchLength));
  }
}

void CheckSetId(std::string_view setNumber, std::string_view command) {
  const auto id = DeriveSetId(setNumber);
  if (!id) return;
  TARNEX_FUZZ_CHECK(id->size() == 2);
  for (const char c : *id) TARNEX_FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
  const std::string substituted = SubstituteSetId(command, *id);
  TARNEX_FUZZ_CHECK(substituted.size() == command.size());
  if (command.size() >= kSetIdPos + 2) {
    TARNEX_FUZZ_CHECK(substituted.substr(kSetIdPos, 2) == *id);
    TARNEX_FUZZ_CHECK(substituted.substr(0, kSetIdPos) == command.substr(0, kSetIdPos));
    TARNEX_FUZZ_CHECK(substituted.substr(kSetIdPos + 2) == command.substr(kSetIdPos + 2));
  } else {
    TARNEX_FUZZ_CHECK(substituted == command);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  fuzz::Input input(data, size);
  const uint8_t choice = input.Byte();
  std::string letters(input.Field(3));
  if (letters.size() < 2) letters = "ka";
  const std::string_view setNumber = input.Field(16);
  const std::string_view received = input.Rest();

  CheckReply(received, letters);
  CheckSetId(setNumber, BuildQuery(letters));

  // The frames the console builds stay one line of the letters and two-character fields.
  const int value = static_cast<int>(choice);
  const std::string set = BuildSetValue(letters, value);
  TARNEX_FUZZ_CHECK(set.size() == letters.size() + 7 && set.back() == '\n');
  TARNEX_FUZZ_CHECK(FormatHex2(value).size() == 2 && FormatDec2(value % 100).size() == 2);
  return 0;
}
