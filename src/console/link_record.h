#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "console/console_core.h"
#include "console/member_sequence.h"
#include "links/network_exchange.h"

namespace tarnex {

// What exchanges did to a display's link, written under the console lock once they are over:
// the only place a display is shown down, given up, blamed in the history or alarmed about.

// The history text that a reply of a group send writes, or nothing: "a 01 OK01x" is "Power On",
// the same acknowledgement of another command ("d 01 OK01x") writes nothing.
std::optional<std::string_view> GroupHistoryText(std::string_view reply);

// The outcome of one exchange with the display `id`; its reply, if it was complete. With
// `giveUp`, silence gives the display up.
std::optional<std::string> RecordExchangeLocked(const CConsoleCore::State& state, DisplayId id,
                                                ExchangeOutcome& outcome, bool giveUp);

// The display is lost: it is shown down, its link closed, the loss written to the history,
// and the administrator alarmed once, on the change from up to down.
void GiveUpLocked(const CConsoleCore::State& state, int row);

// The display's link was found closed when an exchange came to use it: it is shown down,
// blaming nobody.
void MarkLinkGoneLocked(const CConsoleCore::State& state, DisplayId id);

// How one member's sequence ended; false when the display was deleted meanwhile.
bool RecordMemberLocked(const CConsoleCore::State& state, DisplayId id,
                        const SequenceOutcome& outcome, bool linkGone);

}  // namespace tarnex
