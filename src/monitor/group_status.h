#pragma once

#include <string>
#include <vector>

#include "console/command_transaction.h"

namespace tarnex {

// One row of the group list: a member's link, its address (or set ID), its name and what it
// reported. The lamp times are kept with the row but not shown.
struct GroupStatusRow {
  bool pending = false;  // the member is not read yet: only its key is known
  bool online = false;   // row icon 1, else 3
  std::string status;    // "On-Line" / "Off-Line" (network), "Open" / "Close" (serial)
  std::string key;       // the address, or the set number on the serial line
  std::string name;
  std::string power;
  std::string input;
  std::string signal;
  std::string fan;
  std::string lampTime1;
  std::string lampTime2;
};

enum class GroupReadMode {
  // The operator's rebuild: behind the popup, and on the network only displays of kind 2 are
  // read.
  kRebuild,
  // After a supervision pass: no popup, no kind query, every on-line member read.
  kDiagnosis,
};

struct GroupStatusRead {
  std::vector<GroupStatusRow> rows;  // in member order
  bool cancelled = false;            // the rows are stale: nothing is to be shown
};

// Where a read hands over each member's row as soon as that member has been asked all it will
// be, so the list need not wait for the slowest member. Called on the reading thread, one call
// at a time.
class GroupRowSink {
 public:
  virtual ~GroupRowSink() = default;
  // Before anything is asked, a row per member in member order: a member whose link is down
  // (or a set ID not open) as its read will end, every other pending.
  virtual void Begin(std::vector<GroupStatusRow> rows) = 0;
  // The member at `position` has been read. A member given up is not told here: the rows the
  // read returns are the last word on every member.
  virtual void Read(size_t position, GroupStatusRow row) = 0;
};

// The rows of the target group's members, read on the calling thread (a console worker), each
// member with its own sequence of queries and its own kind,
// side by side on the network. `memberCount` is the number of members the group item has; 0
// gives no rows. A serial member that stays silent to the power query is recorded as not
// connected and its member items turn red. Neither the selection nor the display kind of the
// pages is written. A `sink` is given the rows as the members end.
GroupStatusRead ReadGroupStatus(CConsoleCore& core, const CommandTarget& target, int memberCount,
                                GroupReadMode mode, const SendOptions& options = {},
                                GroupRowSink* sink = nullptr);

}  // namespace tarnex
