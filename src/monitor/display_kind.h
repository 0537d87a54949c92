#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "console/console_core.h"

namespace tarnex {

// The kind of the selected display, 0 to 3, as its last answer to the kind query gave it. The
// pages and the status readers choose their commands and lists by it. Atomic because status
// readers may run on a worker.
extern std::atomic<int> g_displayKind;

// The kind a reply names: "u 01 OK02x" is 2; any other answer means kind 1; no answer, or an
// empty one, kind 0.
int DisplayKindOf(const std::optional<std::string>& reply);

// Asks the selected display for its kind and stores the answer in g_displayKind.
int QueryDisplayKind(CConsoleCore& core);

}  // namespace tarnex
