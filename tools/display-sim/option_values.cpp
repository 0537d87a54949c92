#include "display-sim/option_values.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <stdexcept>

#include "display-sim/loopback_address.h"
#include "platform/socket_api.h"

namespace tarnex::sim {
namespace {

// A range serves one display per address; more than this is surely a typing error.
constexpr uint32_t kMaxRange = 10000;

uint32_t HostOrder(const std::string& address) {
  uint32_t networkOrder = 0;
  ParseIpv4(address, &networkOrder);
  return ntohl(networkOrder);
}

std::string DottedQuad(uint32_t hostOrder) {
  return std::to_string(hostOrder >> 24) + "." + std::to_string((hostOrder >> 16) & 0xff) + "." +
         std::to_string((hostOrder >> 8) & 0xff) + "." + std::to_string(hostOrder & 0xff);
}

// "127.0.1.1-127.0.4.232" is every address from the first to the last, both included.
std::vector<std::string> ExpandRange(const std::string& item) {
  const size_t dash = item.find('-');
  if (dash == std::string::npos) {
    CheckLoopback(item);
    return {item};
  }
  const std::string first = item.substr(0, dash);
  const std::string last = item.substr(dash + 1);
  CheckLoopback(first);
  CheckLoopback(last);
  const uint32_t from = HostOrder(first);
  const uint32_t to = HostOrder(last);
  if (to < from || to - from >= kMaxRange) {
    throw std::invalid_argument("a range runs upwards over at most " + std::to_string(kMaxRange) +
                                " addresses, not '" + item + "'");
  }
  std::vector<std::string> addresses;
  for (uint32_t address = from; address <= to; ++address) addresses.push_back(DottedQuad(address));
  return addresses;
}

}  // namespace

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    items.emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return items;
}

int ParseNumber(const std::string& flag, const std::string& text, int low, int high) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    throw std::invalid_argument(flag + " wants a number from " + std::to_string(low) + " to " +
                                std::to_string(high) + ", not '" + text + "'");
  }
  return value;
}

void CheckLoopback(const std::string& address) {
  if (!IsLoopbackAddress(address)) {
    throw std::invalid_argument("only 127.0.0.0/8 addresses are served, not '" + address + "'");
  }
}

// A list of addresses and ranges, as --tcp and the fault switches take it.
std::vector<std::string> AddressList(std::string_view text) {
  std::vector<std::string> addresses;
  for (const std::string& item : SplitList(text)) {
    for (std::string& address : ExpandRange(item)) addresses.push_back(std::move(address));
  }
  return addresses;
}

}  // namespace tarnex::sim
