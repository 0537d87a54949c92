#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "console/command_transaction.h"
#include "console/console_core.h"

namespace tarnex {

// What the single display of a target answered before (by its id, or its set number on the
// serial line); none for a group, nothing, or a display that left the table. Lock held.
DisplayFacts* FactsOf(const CConsoleCore::State& state, const CommandTarget& target);
// The same for the selected display.
DisplayFacts* SelectedFacts(const CConsoleCore::State& state);

// What a page read carries from the moment the operator asked for it: the target it reads,
// the read token that a new selection cancels, and the selection's generation, by which what
// it read is shown only while the operator still has that target selected. Captured on the UI
// thread, used on a worker; nothing in it is looked up again from the selection.
struct ReadContext {
  CConsoleCore* core = nullptr;
  CommandTarget target;
  std::shared_ptr<const CancelToken> token;
  std::uint64_t generation = 0;
  bool serial = false;

  // The selection now. UI thread.
  static ReadContext ForSelection(CConsoleCore& core);

  // One exchange with the target; `shortSerialWait` waits 1000 ms for a serial reply.
  SendOutcome Send(std::string_view command, bool shortSerialWait = false) const;
  bool Cancelled() const { return token && token->Cancelled(); }
  // The displays the read talks to, for its job.
  JobKeys Keys() const { return target.Keys(); }
  // What the read's own display answered before; none for a group or a display that left
  // the table. Lock held.
  DisplayFacts* Facts(const CConsoleCore::State& state) const { return FactsOf(state, target); }
  // Whether the operator still has the read's target selected. Lock held.
  bool StillSelected(const CConsoleCore::State& state) const {
    return state->SelectionGeneration() == generation;
  }
};

}  // namespace tarnex
