#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnex::sim {

// What a display does with one received line: the reply bytes in the pieces they are written
// in (none: no reply), when, and whether the connection ends afterwards.
struct LineOutcome {
  std::vector<std::string> pieces;
  std::chrono::milliseconds delay{0};  // before the first piece
  std::chrono::milliseconds pause{0};  // between pieces
  bool closeAfter = false;             // close once the pieces are written
  bool reset = false;                  // drop the connection with a reset at once, unanswered
};

// Decides the outcome of one line (line feed included); commandCount counts the lines of
// this connection, this one included. Called on the event loop's thread.
using LineHandler = std::function<LineOutcome(std::string_view line, int commandCount)>;

}  // namespace tarnex::sim
