#pragma once

#include <string>
#include <vector>

namespace tarnex::sim {

// How a simulated serial line is set up. Every fault can also be switched later through the
// setters of SerialLine.
struct SerialLineOptions {
  std::string linkPath{};             // a symbolic link made to the device; empty for none
  std::vector<std::string> setIds{};  // the displays on the line: "01", "05", "0f"
  bool replyOwnSetId = false;         // answer with the display's set ID instead of "01"
  bool splitReplies = false;          // every reply written in several pieces with short pauses
  int delayMs = 0;                    // answers after this delay
};

}  // namespace tarnex::sim
