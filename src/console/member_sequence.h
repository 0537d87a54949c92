#pragma once

#include <optional>
#include <string>

#include "links/network_exchange.h"

namespace tarnex {

// One query of a member's sequence.
struct MemberQuery {
  std::string command;  // with set ID "01"
  // One receive, no resend, and silence does not give the display up (the kind query).
  bool once = false;
  // Power on and off: sent twice and nothing read, so silence gives nobody up.
  bool power = false;
};

// What one member of a group is asked, one query after another, each reply deciding the next:
// the group status reads, a message's frames, a restore's settings. A member's sequence runs
// with its own pacing beside the other members'; its calls come on the thread that runs the
// sequences, one at a time, never two for the same member at once.
class MemberSequence {
 public:
  virtual ~MemberSequence() = default;
  // The first query; none asks nothing.
  virtual std::optional<MemberQuery> Start() = 0;
  // The reply to the last query (none when the display was silent); the next query, or none.
  virtual std::optional<MemberQuery> Next(std::optional<std::string> reply) = 0;
};

// How one member's sequence ended.
struct SequenceOutcome {
  // Network: the display's link was up when the run began, so its sequence ran. Serial: true.
  bool up = false;
  // The display stopped answering mid-sequence and was recorded as lost.
  bool givenUp = false;
  // A later listing of a display that an earlier listing had given up: nothing was asked.
  bool skipped = false;
  // The console is closing or the read went stale.
  bool cancelled = false;
  // What a PJLink display said besides its replies (the last of it; a refused password
  // stays), and to which command.
  LinkAnswer answer = LinkAnswer::kNone;
  std::string asked;
};

}  // namespace tarnex
