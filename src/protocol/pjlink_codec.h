#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnex::pjlink {

// PJLink class 1 on TCP: "%1CMD param\r" out, "%1CMD=value\r" back. Every byte a display
// sends is untrusted: nothing here asserts, and no reply longer than a packet is read.
inline constexpr std::uint16_t kPort = 4352;
inline constexpr size_t kMaxPacket = 136;  // "%1" + 4 + "=" + 128 + CR, with room
inline constexpr size_t kMaxParameter = 128;

// "%1POWR 1\r": `command` is four letters (upper-cased here), `parameter` printable ASCII of
// at most 128 characters ("?" for a query). Empty when either is not.
std::string Frame(std::string_view command, std::string_view parameter);

enum class ReplyKind {
  kOk,       // "=OK" to a set
  kValue,    // "=<value>" to a query
  kErr1,     // undefined command: not supported by this display
  kErr2,     // out of parameter
  kErr3,     // unavailable time (warming up, cooling down, standby)
  kErr4,     // projector failure
  kErrA,     // "PJLINK ERRA": authentication failed
  kUnknown,  // anything else: another command's reply, junk, too long, an OK to a query
};

struct Reply {
  ReplyKind kind = ReplyKind::kUnknown;
  std::string value;  // kValue: the value as sent
};

// One packet without its CR. Leading NULs are dropped; the command is compared with
// `command` case-insensitively; a packet over kMaxPacket bytes is kUnknown. `query` tells
// whether a value or an OK is the right answer.
Reply ParseReply(std::string_view packet, std::string_view command, bool query);

// "PJLINK 0" (no authentication) or "PJLINK 1 <8 hex digits>" (authentication with that
// random number); none for anything else. Leading NULs and letter case as for replies.
struct Greeting {
  bool authenticate = false;
  std::string random;  // the 8 digits as sent
};
std::optional<Greeting> ParseGreeting(std::string_view packet);

// The 32 lower-case hex digits of MD5(random + password): the prefix of the first command of
// an authenticated session. libcrypto's MD5, behind this one function.
std::string AuthPrefix(std::string_view random, std::string_view password);

// CLSS: the class as its first digit ("1", "Class 1", "Version1"); none without one.
std::optional<int> ClassOf(std::string_view value);
// POWR ?: "Standby", "On", "Cooling", "Warm-up"; none for another value.
std::optional<std::string_view> PowerWord(std::string_view value);
// INST: the input codes listed ("11 12 31" → {"11","12","31"}); each two characters, the
// first 1-5, the second a digit or letter; others are dropped. At most 50.
std::vector<std::string> InputsOf(std::string_view value);
// "11" → "RGB 1", "21" → "Video 1", "31" → "Digital 1", "41" → "Storage 1",
// "51" → "Network 1"; empty for another code.
std::string InputName(std::string_view code);
// AVMT ?: "11" and "31" mean screen mute on, "10" "20" "21" "30" off; none otherwise.
std::optional<bool> ScreenMuted(std::string_view value);
// LAMP: the first two (hours, on) pairs of "1234 1 567 0"; fewer when fewer are sent.
std::vector<std::pair<long, bool>> LampsOf(std::string_view value);
// ERST: six digits 0-2 (fan, lamp, temperature, cover, filter, other); none otherwise.
std::optional<std::array<int, 6>> ErrorStatus(std::string_view value);

}  // namespace tarnex::pjlink
