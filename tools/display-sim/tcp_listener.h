#pragma once

#include <cstdint>
#include <string>

namespace tarnex::sim {

// A non-blocking listening TCP socket on a loopback address, with SO_REUSEADDR so that a
// display switched off and on again can listen at once. Returns the descriptor, or -1 with
// errno set. Addresses outside 127.0.0.0/8 are refused with EADDRNOTAVAIL.
inline constexpr int kListenBacklog = 16;
int OpenListener(const std::string& address, uint16_t port, int backlog = kListenBacklog);

// The port a bound socket listens on (useful after binding port 0), or 0.
uint16_t BoundPort(int fd);

}  // namespace tarnex::sim
