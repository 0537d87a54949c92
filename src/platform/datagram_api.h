#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/socket_api.h"

namespace tarnex {

// The UDP calls of the display search, behind an interface beside SocketApi so that tests can
// feed datagrams or fail a call without a network.
class DatagramApi {
 public:
  virtual ~DatagramApi() = default;

  struct Opened {
    int fd = kNoSocket;
    // The socket exists but may not send to a broadcast address.
    bool broadcastRefused = false;
  };
  // A UDP socket allowed to broadcast, with a receive buffer large enough for a whole fleet
  // answering at once.
  virtual Opened OpenBroadcast() = 0;
  // The whole datagram to ipv4:port, or false.
  virtual bool SendTo(int fd, const std::string& ipv4, uint16_t port, std::string_view bytes) = 0;

  enum class Wait { kDatagram, kTimedOut, kCancelled, kFailed };
  // Waits up to timeoutMs for one datagram, or until one of `cancelFds` (at most two;
  // kNoSocket entries are left out) becomes readable. A datagram longer than `capacity` is
  // cut to it.
  virtual Wait Receive(int fd, std::span<const int> cancelFds, int timeoutMs, size_t capacity,
                       std::string* datagram) = 0;
  virtual void Close(int fd) = 0;
};

// The process-wide POSIX implementation.
DatagramApi& PosixDatagrams();

}  // namespace tarnex
