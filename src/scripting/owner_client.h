#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "scripting/script_report.h"
#include "scripting/script_request.h"

namespace tarnex {

// How long the owner may stay silent (no heartbeat, no answer) before the client gives up.
inline constexpr std::chrono::seconds kOwnerSilence{5};

// Hands the request to the owner at `socketPath` and waits for its report. The owner must be
// a process of this user. The report carries a run-wide exit when the owner could not be
// reached (kOwnerBusy: refused, silent for 5 s, gone mid-request; kTimedOut when it went after
// the request's own time-out).
ScriptReport AskOwner(const std::string& socketPath, const ScriptRequest& request);

}  // namespace tarnex
