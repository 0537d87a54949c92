#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "display-sim/display_state.h"

namespace tarnex::sim {

// Maps one command line to the display's one reply, independent of the transport that
// carried it (TCP connection or serial line).
//
// Accepted commands answer "<second letter> <set ID> OK<data>x": sets echo the value now
// kept, queries ("ff" in every value position) report it, table entries lead with their
// index. Anything the display does not take (unknown letters, a malformed line, a value
// outside the setting's list, a set on a read-only state) answers "<second letter> <set ID>
// NGx" and changes nothing. That reply ends in "x", so the console sees a complete reply at
// once instead of waiting out its receive time-outs, and it matches no expected reply because
// every one of those carries "OK".
class CommandResponder {
 public:
  // replySetId: the set ID written into every reply ("01" on TCP); empty to echo the
  // command's own.
  explicit CommandResponder(DisplayState& state, std::string replySetId = {});

  // The reply to one line, with or without its line feed; nullopt for a blank line.
  std::optional<std::string> Answer(std::string_view line);

 private:
  std::string Refusal(std::string_view line) const;

  DisplayState& state_;
  std::string replySetId_;
};

}  // namespace tarnex::sim
