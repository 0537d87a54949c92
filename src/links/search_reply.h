#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tarnex {

// What one display said about itself in answer to the search datagram.
struct SearchReply {
  using Octets = std::array<std::string, 4>;  // decimal texts, as the display table keeps them

  std::string compactMac;  // "0011AABBCCDD": twelve upper-case hexadecimal digits
  std::string displayMac;  // "00 - 11 - AA - BB - CC - DD"
  std::string text;        // field 5, printable and without spaces
  std::string address;     // "%d.%d.%d.%d" of the IP field
  Octets ipAddress;
  Octets subnetMask;  // the four fields below are all empty when the display sent none
  Octets gateway;
  Octets primaryDns;
  Octets secondaryDns;

  bool operator==(const SearchReply&) const = default;
};

// Only the first 80 bytes of a reply are read.
inline constexpr size_t kSearchReplyExamined = 80;

// Reads a reply datagram: fields separated by single spaces, field 4 the MAC address (12
// hexadecimal digits), field 5 a text, field 6 the IP address, 7 the subnet mask, 8 the
// gateway, 9 and 10 two more addresses (8 hexadecimal digits each, first octet first).
// Anyone on the network can send one, so nothing is taken on trust: without a MAC address
// and a unicast IP address the reply is none; a malformed field 7 to 10 is left empty, and
// the text keeps only printable characters, so that nothing it holds can break the line of a
// configuration file.
std::optional<SearchReply> ParseSearchReply(std::string_view datagram);

}  // namespace tarnex
