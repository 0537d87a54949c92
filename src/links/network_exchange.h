#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/sleeper.h"
#include "platform/socket_api.h"

namespace tarnex {

inline constexpr size_t kReplyBufferSize = 256;  // what a reply may grow to
inline constexpr size_t kReceiveChunk = 100;     // what one receive asks for
inline constexpr std::chrono::milliseconds kReceivePacing{50};

struct ExchangeOutcome {
  bool complete = false;
  std::string reply;  // the reply when complete
  int failedReceives = 0;
};

// One command and its reply on one display's socket, self-contained so that exchanges with
// different displays can run side by side. Each receive is preceded by a 50 ms pause. A
// failed receive is an error or time-out, the display closing the connection, or a reply that
// would outgrow the reply buffer without completing; up to `maxFailedReceives` are taken, and
// when `resend` is set the command is sent again after each one but the last, with a fresh
// buffer since a fresh command brings a fresh reply. After a complete reply it pauses 50 ms
// more, so the display is ready for the next command.
ExchangeOutcome ExchangeWithDisplay(SocketApi& api, int fd, std::string_view command,
                                    int maxFailedReceives, bool resend, const Sleeper& sleep);

}  // namespace tarnex
