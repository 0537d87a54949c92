#include "display-sim/loopback_address.h"

#include <arpa/inet.h>

#include <cstdint>

#include "platform/socket_api.h"

namespace tarnex::sim {

bool IsLoopbackAddress(const std::string& address) {
  uint32_t networkOrder = 0;
  if (!ParseIpv4(address, &networkOrder)) return false;
  return (ntohl(networkOrder) >> 24) == 127;
}

}  // namespace tarnex::sim
