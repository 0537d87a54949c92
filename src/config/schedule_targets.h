#pragma once

#include <string>

#include "config/schedule_entry.h"

namespace tarnex {

// Entries name their group, never a row: a rename takes them along, in the same locked step
// as the group change.
inline void RenameScheduleTargets(ScheduleTable& table, const std::string& from,
                                  const std::string& to) {
  for (ScheduleEntry& entry : table.entries) {
    if (entry.target == "group:" + from) entry.target = "group:" + to;
  }
}

// A deleted group's entries stay, disabled and marked, so that a later group of the same name
// never inherits them.
inline void MarkScheduleTargetsGone(ScheduleTable& table, const std::string& group) {
  for (ScheduleEntry& entry : table.entries) {
    if (entry.target != "group:" + group) continue;
    entry.enabled = false;
    entry.targetGone = true;
  }
}

}  // namespace tarnex
