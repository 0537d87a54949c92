#include "links/search_reply.h"

#include <cstdint>
#include <vector>

namespace tarnex {
namespace {

constexpr size_t kMacField = 4;
constexpr size_t kTextField = 5;
constexpr size_t kIpField = 6;
constexpr size_t kMaskField = 7;
constexpr size_t kGatewayField = 8;
constexpr size_t kPrimaryDnsField = 9;
constexpr size_t kSecondaryDnsField = 10;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool AllHex(std::string_view text, size_t length) {
  if (text.size() != length) return false;
  for (const char c : text) {
    if (HexDigit(c) < 0) return false;
  }
  return true;
}

// Eight hexadecimal digits as four octets, first octet first.
std::optional<std::array<uint8_t, 4>> Octets(std::string_view field) {
  if (!AllHex(field, 8)) return std::nullopt;
  std::array<uint8_t, 4> octets{};
  for (size_t i = 0; i < 4; ++i) {
    octets[i] = static_cast<uint8_t>(HexDigit(field[2 * i]) * 16 + HexDigit(field[2 * i + 1]));
  }
  return octets;
}

SearchReply::Octets Texts(const std::optional<std::array<uint8_t, 4>>& octets) {
  SearchReply::Octets texts;
  if (!octets) return texts;
  for (size_t i = 0; i < 4; ++i) texts[i] = std::to_string((*octets)[i]);
  return texts;
}

uint32_t HostOrder(const std::array<uint8_t, 4>& octets) {
  return static_cast<uint32_t>(octets[0]) << 24 | static_cast<uint32_t>(octets[1]) << 16 |
         static_cast<uint32_t>(octets[2]) << 8 | octets[3];
}

// A contiguous mask of /1 to /30: one whose subnet has a network and a broadcast address.
bool HasBroadcast(uint32_t mask) {
  const uint32_t host = ~mask;
  return mask != 0 && (host & (host + 1)) == 0 && host >= 3;
}

// 0.x.x.x, multicast, the reserved block and the limited broadcast cannot be a display. Nor
// can an address ending in .0 or .255, whatever mask the reply announces: the mask is the
// sender's word, and those are the network and broadcast addresses of every subnet of /24 or
// wider, so a datagram to one would reach many devices or none. Under an announced mask of
// its own, the subnet's network and broadcast addresses are refused as well.
bool IsUnicast(const std::array<uint8_t, 4>& ip,
               const std::optional<std::array<uint8_t, 4>>& mask) {
  if (ip[0] == 0 || ip[0] >= 224 || ip[3] == 0 || ip[3] == 255) return false;
  if (mask) {
    const uint32_t bits = HostOrder(*mask);
    const uint32_t host = HostOrder(ip) & ~bits;
    if (HasBroadcast(bits) && (host == 0 || host == ~bits)) return false;
  }
  return true;
}

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t space = text.find(' ', start);
    fields.push_back(text.substr(start, space - start));
    if (space == std::string_view::npos) return fields;
    start = space + 1;
  }
}

std::string_view Field(const std::vector<std::string_view>& fields, size_t n) {
  return n < fields.size() ? fields[n] : std::string_view();
}

}  // namespace

std::optional<SearchReply> ParseSearchReply(std::string_view datagram) {
  std::string_view text = datagram.substr(0, kSearchReplyExamined);
  // A display that fills a fixed buffer pads it with zeros, or ends its line.
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  const std::vector<std::string_view> fields = Fields(text);

  const std::string_view mac = Field(fields, kMacField);
  const auto ip = Octets(Field(fields, kIpField));
  const auto mask = Octets(Field(fields, kMaskField));
  if (!AllHex(mac, 12) || !ip || !IsUnicast(*ip, mask)) return std::nullopt;

  SearchReply reply;
  for (size_t i = 0; i < 6; ++i) {
    std::string pair;
    for (const char c : mac.substr(2 * i, 2)) {
      pair += static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
    }
    reply.compactMac += pair;
    reply.displayMac += (i == 0 ? "" : " - ") + pair;
  }
  for (const char c : Field(fields, kTextField)) {
    if (c > ' ' && c < 0x7f) reply.text += c;
  }
  reply.ipAddress = Texts(ip);
  reply.address = reply.ipAddress[0] + "." + reply.ipAddress[1] + "." + reply.ipAddress[2] + "." +
                  reply.ipAddress[3];
  reply.subnetMask = Texts(mask);
  reply.gateway = Texts(Octets(Field(fields, kGatewayField)));
  reply.primaryDns = Texts(Octets(Field(fields, kPrimaryDnsField)));
  reply.secondaryDns = Texts(Octets(Field(fields, kSecondaryDnsField)));
  return reply;
}

}  // namespace tarnex
