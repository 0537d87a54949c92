#pragma once

#include "scripting/script_report.h"
#include "scripting/script_request.h"

namespace tarnex::ctl {

// Runs the request on a core of this process's own, the owner lock held by the caller: only
// the named displays are connected, nothing supervises them, no alarm is mailed and no
// configuration file is written. History lines go to the same report the console keeps.
ScriptReport RunDirect(const ScriptRequest& request);

}  // namespace tarnex::ctl
