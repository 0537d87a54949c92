#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/socket_api.h"

namespace tarnex {

// How one display's connect ended.
struct Connection {
  enum class Result {
    kConnected,
    kNotConnected,   // refused, unreachable or silent for every attempt
    kSetupFailed,    // the socket could not be switched between blocking modes
    kNoDescriptors,  // the process ran out of descriptors: the display was never tried
    kCancelled,      // the console is closing
  };
  Result result = Result::kNotConnected;
  int fd = kNoSocket;     // connected, blocking, with the receive time-out; the caller owns it
  int attemptNumber = 0;  // which attempt connected (0 or 1)
};

struct ConnectOptions {
  uint16_t port = 9761;
  // The port of each address, in the order of the addresses, when they differ (native and
  // PJLink displays connected together); `port` for the addresses beyond it.
  std::vector<uint16_t> ports;
  int attempts = 1;
  int attemptMs = 1000;  // each attempt's time-out; attempt n starts n periods after the first
  int receiveTimeoutMs = 3000;
  int cancelFd = kNoSocket;
  // Called when a socket's receive time-out could not be set; the connect goes on.
  std::function<void()> optionFailed;
  // Called on the connecting thread as soon as an address's result is final, in whatever
  // order the results come; the result is also in the returned list, whose descriptor the
  // caller owns.
  std::function<void(size_t index, const Connection& result)> finished;
};

// Connects to every address at once: non-blocking connects watched together, so a thousand
// displays take about as long as the slowest one. Each address gets the attempts that it
// would get alone, with the same timing: an attempt that is refused at once is retried when
// its attempt period is over, as one that timed out would be. Results come back in the order
// of `addresses`.
std::vector<Connection> ConnectAll(SocketApi& api, const std::vector<std::string>& addresses,
                                   const ConnectOptions& options);

}  // namespace tarnex
