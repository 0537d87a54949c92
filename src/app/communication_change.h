#pragma once

#include "config/network_manager_doc.h"

namespace tarnex {

// Writes a confirmed change of link to disk, so that the next start loads the chosen mode's
// file: both files get their "Communication" keys, the chosen one marked active and the other
// not, and a change to serial also stores the line settings ("SerialSetting") in the serial
// file. Only these keys are written: the tables of the mode not loaded are not in memory and
// must stay as they are on disk. False when a file could not be written.
bool WriteCommunicationChange(const COsprelNetworkManagerDoc& doc);

}  // namespace tarnex
