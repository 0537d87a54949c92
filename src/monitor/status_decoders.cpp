#include "monitor/status_decoders.h"

#include <algorithm>
#include <charconv>

#include "protocol/command_frame.h"

namespace tarnex {
namespace {

constexpr size_t kMacBoxLength = 27;
constexpr size_t kStepMembersLimit = 100;

bool Empty(const std::optional<std::string>& reply) {
  return !reply || protocol::ReplyText(*reply).empty();
}

// As the stored files have it: decimal, or hexadecimal after "0x".
std::optional<int> OctetValue(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 ||
      value > 255) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<std::string> MatchText(const std::optional<std::string>& reply,
                                     std::span<const status::ReplyText> table) {
  if (Empty(reply)) return std::nullopt;
  for (const status::ReplyText& entry : table) {
    if (protocol::MatchesReply(*reply, entry.reply)) return std::string(entry.text);
  }
  return std::nullopt;
}

std::optional<std::string> DecodeSignal(const std::optional<std::string>& reply) {
  if (Empty(reply)) return std::nullopt;
  return MatchText(reply, status::kSignal).value_or(std::string(status::kNoSignalInfo));
}

std::optional<FanReading> DecodeFan(const std::optional<std::string>& reply) {
  if (Empty(reply)) return std::nullopt;
  if (protocol::MatchesReply(*reply, status::kFanNormalReply)) {
    return FanReading{std::string(status::kFanOk), true};
  }
  const bool abnormal = protocol::MatchesReply(*reply, status::kFanAbnormalReply);
  return FanReading{std::string(status::kFanNg), !abnormal};
}

std::optional<std::string> DecodeGroupFan(const std::optional<std::string>& reply) {
  const std::array<status::ReplyText, 2> table = {{
      {status::kFanNormalReply, status::kFanOk},
      {status::kFanAbnormalReply, status::kFanNg},
  }};
  return MatchText(reply, table);
}

int LampByte(const std::optional<std::string>& reply) {
  if (!reply) return 0;
  return protocol::ReadNumericReply(*reply).value_or(0);
}

std::string LampHoursText(const std::optional<std::string>& high,
                          const std::optional<std::string>& low) {
  return std::to_string(LampByte(high) * 256 + LampByte(low));
}

std::string DottedAddress(const OctetTexts& octets) {
  if (std::all_of(octets.begin(), octets.end(), [](const std::string& o) { return o.empty(); })) {
    return "0.0.0.0";
  }
  std::string dotted;
  for (const std::string& octet : octets) {
    const std::optional<int> value = OctetValue(octet);
    if (!value) return {};
    if (!dotted.empty()) dotted += '.';
    dotted += std::to_string(*value);
  }
  return dotted;
}

std::string MacBoxText(std::string_view displayMac) {
  return std::string(displayMac.substr(0, std::min(displayMac.size(), kMacBoxLength)));
}

std::string MemberName(std::string_view label) {
  const size_t bracket = label.rfind(']');
  if (bracket == std::string_view::npos || bracket < 2) return "- - - -";
  return std::string(label.substr(1, bracket - 1));
}

int GroupProgress(size_t done, size_t count) {
  if (count == 0) return 100;
  done = std::min(done, count);
  if (count <= kStepMembersLimit) return static_cast<int>(done * (100 / count));
  return static_cast<int>(done * 100 / count);
}

}  // namespace tarnex
