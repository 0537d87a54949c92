#pragma once

#include <optional>
#include <string>

#include "monitor/read_context.h"

namespace tarnex {

// The kind whose displays answer the status reads (signal, fan) the others do not have.
inline constexpr int kKindWithStatus = 2;

// The kind a reply names: "u 01 OK02x" is 2; any other answer means kind 1; no answer, or an
// empty one, kind 0.
int DisplayKindOf(const std::optional<std::string>& reply);

// Asks the read's display for its kind; the caller stores it once the UI thread sees the read
// is still the selection's (StoreDisplayKind).
int QueryDisplayKind(const ReadContext& context);

// UI thread: the kind a read found, kept with the display the read was started for, and the
// answer's credit while that display is still selected.
void StoreDisplayKind(CConsoleCore& core, const ReadContext& context, int kind);

// The kind a display last named, 0 to 3 (0 while it never answered): the pages and the status
// readers choose their commands and lists by it. Of the read's own display; of the selected
// display.
int KnownKind(const ReadContext& context);
int SelectedKind(CConsoleCore& core);

}  // namespace tarnex
