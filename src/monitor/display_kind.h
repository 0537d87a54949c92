#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "monitor/read_context.h"

namespace tarnex {

// The kind of the selected display, 0 to 3, as its last answer to the kind query gave it. The
// pages and the status readers choose their commands and lists by it. Written on the UI thread
// for the display that is selected; atomic because status readers read it on a worker.
extern std::atomic<int> g_displayKind;

// The kind whose displays answer the status reads (signal, fan) the others do not have.
inline constexpr int kKindWithStatus = 2;

// The kind a reply names: "u 01 OK02x" is 2; any other answer means kind 1; no answer, or an
// empty one, kind 0.
int DisplayKindOf(const std::optional<std::string>& reply);

// Asks the read's display for its kind; the caller stores it once the UI thread sees the read
// is still the selection's (StoreDisplayKind).
int QueryDisplayKind(const ReadContext& context);

// UI thread: the kind a read of the selected display found, and the answer's credit.
void StoreDisplayKind(CConsoleCore& core, const ReadContext& context, int kind);

}  // namespace tarnex
