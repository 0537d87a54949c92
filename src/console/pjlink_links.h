#pragma once

#include <string_view>
#include <vector>

#include "console/console_core.h"
#include "links/network_exchange.h"

namespace tarnex {

// What a PJLink display's answer tells about it, kept with the display (lock held):
// a refused password shows it red, "Password rejected", with one history line; ERR1 marks the
// command unknown there; ERR2 writes the refused setting to the history; ERR3 to a power set
// makes that power state the display's desired one, which supervision sends again; ERR4 shows
// the warning icon and has its error status read.
void NoteLinkAnswerLocked(const CConsoleCore::State& state, DisplayId id, LinkAnswer answer,
                          std::string_view asked);

// How long supervision keeps sending a power state a display answered busy to.
inline constexpr std::chrono::minutes kDesiredPowerFor{2};

// The first exchange of each PJLink display just connected: its greeting, the hash when it
// asks for one, and its class. A refused password shows at once rather than at the
// operator's first command. Not under the lock.
void GreetPjlinkDisplays(CConsoleCore& core, const std::vector<DisplayId>& ids);

// Supervision's PJLink work, no polling beyond it: the power states answered busy are sent
// again, and the error status of a display that reported a failure is read. Not under the
// lock.
void ServePjlinkDisplays(CConsoleCore& core);

// What adding a PJLink display came to, for the operator's box.
struct PjlinkAddOutcome {
  enum class Result { kAdded, kUpdated, kNative, kBadAddress, kFull, kCancelled };
  Result result = Result::kCancelled;
  bool connected = false;
  bool authFailed = false;
  int linkClass = 0;
  std::string name;
};

// Adds the PJLink display at `address` at the end of the table and under "Single", with its
// password (empty for none), connects it and reads its class and name. A PJLink display
// already listed takes the new password and is connected again; a native one is refused.
// On a worker.
PjlinkAddOutcome AddPjlinkDisplay(CConsoleCore& core, const std::string& address,
                                  const std::string& password);

// The display's password is set (empty clears it) and its link opened again with it: a
// display refused before is tried again. False for a display that is gone or not PJLink. On a
// worker.
bool SetPjlinkPassword(CConsoleCore& core, DisplayId id, const std::string& password);

}  // namespace tarnex
