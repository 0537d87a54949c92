#pragma once

#include <ctime>

#include "agent/fleet_state.h"
#include "console/console_core.h"

namespace tarnex::agent {

// One read of every display of `fleet` at once, each member with its own sequence: power;
// input and mute while it is on; fan and lamp hours when `full`. What the displays said goes
// into `book` with `now` as its time. Leased fleet work on the console's workers, so it holds
// up no display's own jobs; blocks the calling thread (never a worker) until it ended or the
// console stops.
void RunStatePass(CConsoleCore& core, const FleetView& fleet, bool full, StateBook& book,
                  std::time_t now);

}  // namespace tarnex::agent
