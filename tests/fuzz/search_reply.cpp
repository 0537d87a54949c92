// The discovery reply parser against any datagram: anyone on the network can send one.
#include "links/search_reply.h"
#include "fuzz_support.h"

using namespace tarnex;

namespace {

bool Decimal(const std::string& octet) {
  if (octet.empty() || octet.size() > 3) return false;
  for (const char c : octet) {
    if (c < '0' || c > '9') return false;
  }
  return std::stoi(octet) <= 255;
}

void CheckOctets(const SearchReply::Octets& octets, bool mayBeEmpty) {
  const bool empty =
      octets[0].empty() && octets[1].empty() && octets[2].empty() && octets[3].empty();
  if (mayBeEmpty && empty) return;
  for (const std::string& octet : octets) TARNEX_FUZZ_CHECK(Decimal(octet));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::string_view datagram(reinterpret_cast<const char*>(data), size);
  const auto reply = ParseSearchReply(datagram);
  if (!reply) return 0;

  // Only the examined bytes decide the reply.
  TARNEX_FUZZ_CHECK(ParseSearchReply(datagram.substr(0, kSearchReplyExamined)) == reply);

  TARNEX_FUZZ_CHECK(reply->compactMac.size() == 12);
  for (const char c : reply->compactMac) {
    TARNEX_FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
  }
  TARNEX_FUZZ_CHECK(fuzz::Printable(reply->displayMac));
  // The text ends up in a configuration file line: printable, and no blank to split it.
  TARNEX_FUZZ_CHECK(fuzz::Printable(reply->text));
  TARNEX_FUZZ_CHECK(reply->text.find(' ') == std::string::npos);
  CheckOctets(reply->ipAddress, false);
  CheckOctets(reply->subnetMask, true);
  CheckOctets(reply->gateway, true);
  CheckOctets(reply->primaryDns, true);
  CheckOctets(reply->secondaryDns, true);
  const SearchReply::Octets& ip = reply->ipAddress;
  const int first = std::stoi(ip[0]);
  TARNEX_FUZZ_CHECK(first != 0 && first < 224);
  TARNEX_FUZZ_CHECK(reply->address == ip[0] + "." + ip[1] + "." + ip[2] + "." + ip[3]);
  return 0;
}
