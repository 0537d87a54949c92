#pragma once

#include <string>
#include <vector>

#include "console/job_scheduler.h"
#include "console/selection.h"
#include "links/link_state.h"
#include "registry/tree_observer.h"

namespace tarnex {

// Where a command goes, as the selection stood when the operator acted. Displays are named by
// their ids: a command that waits its turn still reaches the display or group it was meant
// for, even if the operator has selected, renamed or deleted another one meanwhile, and a
// display deleted meanwhile is skipped.
struct CommandTarget {
  enum class Route { kNone, kDisplay, kNetworkGroup, kSerial };
  Route route = Route::kNone;
  DisplayId display = kNoDisplay;   // kDisplay
  std::vector<DisplayId> members;   // kNetworkGroup: each member's display, in member order
  std::vector<std::string> setIds;  // kSerial: the set ID, or each member's
  bool serialGroup = false;
  std::string historySetId;  // kSerial, one set ID: what its history lines name ("15")
  int serialId = -1;         // kSerial, one set ID: its number, the serial state's entry
  TreeItem item = kNoItem;   // the item that was selected

  bool IsGroup() const { return route == Route::kNetworkGroup || serialGroup; }
  // kSerial: what the history names the member's display by, its decimal set number ("15").
  std::string SerialName(size_t member) const;
  // The displays the command talks to, for the job that carries it.
  JobKeys Keys() const;
};

// The target a selection makes: its displays by their ids, a group's absent listings left
// out, a serial group as each member's own set ID. Nothing selected makes no target.
CommandTarget TargetOf(const Selection& selection);

}  // namespace tarnex
