#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "monitor/status_tables.h"
#include "registry/display_record.h"

namespace tarnex {

// The decoding of the status replies, without I/O. A reply that is missing, empty or not in
// the table gives nothing: the box or cell keeps what it shows.

std::optional<std::string> MatchText(const std::optional<std::string>& reply,
                                     std::span<const status::ReplyText> table);
// Any reply that is not empty shows something: "N/A" when it names no signal state.
std::optional<std::string> DecodeSignal(const std::optional<std::string>& reply);

// The fan as the single display's diagnosis reads it: "t 01 OK01x" is normal, "t 01 OK00x"
// abnormal, and any other reply shows "NG" without counting as abnormal.
struct FanReading {
  std::string text;
  bool normal = true;
};
std::optional<FanReading> DecodeFan(const std::optional<std::string>& reply);
// The group list's fan: "OK" or "NG" for the two known replies only.
std::optional<std::string> DecodeGroupFan(const std::optional<std::string>& reply);

// The byte a lamp reply carries in its two data characters; 0 when the reply is missing or
// they are not hexadecimal digits.
int LampByte(const std::optional<std::string>& reply);
// Hours from the replies to the high and the low query, as decimal text.
std::string LampHoursText(const std::optional<std::string>& high,
                          const std::optional<std::string>& low);

// Four stored octet texts as a dotted address; empty when one is not a number from 0 to 255
// (decimal, or hexadecimal after "0x"), so no address is shown wrapped. None stored at all
// (a display the search never heard) is the address 0.0.0.0, as an address box shows it.
std::string DottedAddress(const OctetTexts& octets);
// The display MAC text as the network box shows it: its first 27 characters.
std::string MacBoxText(std::string_view displayMac);

// A group member's name from its display's label: the text between the first character and
// the last "]", "- - - -" when that is empty ("[Lobby]10.0.0.5" -> "Lobby").
std::string MemberName(std::string_view label);

// The group popup's position after `done` of `count` members: steps of 100 / count up to 100
// members, so three give 33, 66, 99; beyond 100 members, where that step is 0, done x 100 /
// count. The caller sets 100 at the end.
int GroupProgress(size_t done, size_t count);

}  // namespace tarnex
