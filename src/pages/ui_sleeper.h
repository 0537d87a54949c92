#pragma once

#include "platform/sleeper.h"

namespace tarnex {

// The pause for the console core of the Qt application (install it with core.SetSleeper).
// On the UI thread a refresh blocks for every exchange; while it waits here the window keeps
// repainting and the progress bar moves, but operator input waits until the refresh is over.
// On any other thread it simply sleeps.
Sleeper UiResponsiveSleeper();

// True on the UI thread while such a pause delivers events: whatever handles one then runs
// inside an exchange that holds the console.
bool InsideResponsiveWait();

}  // namespace tarnex
