#pragma once

#include <chrono>
#include <cstddef>
#include <functional>

#include "display-sim/command_line_parser.h"
#include "display-sim/line_outcome.h"

namespace tarnex::sim {

// One accepted connection's own start: what is written before any command, and the handler
// for its lines alone, which may keep what belongs to this connection (a challenge sent in
// the greeting).
struct Session {
  LineOutcome greeting;
  LineHandler handler;
};

// How a server frames and keeps its connections. The defaults are the native protocol's:
// lines end in a line feed, nothing is said first, a connection stays open while the peer
// keeps it.
struct ConnectionRules {
  char lineEnd = '\n';
  size_t maxLine = kMaxCommandLength;  // of an unfinished line; more drops the connection
  // Run on the loop thread for every accepted connection. Empty: the server's handler, no
  // greeting.
  std::function<Session()> open;
  // How long a connection may go without receiving a byte before it is closed; zero or empty
  // is never. Asked again on every service, so a change reaches open connections too.
  std::function<std::chrono::milliseconds()> idleLimit;
};

}  // namespace tarnex::sim
