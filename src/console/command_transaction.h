#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/console_core.h"
#include "links/network_exchange.h"
#include "registry/tree_observer.h"

namespace tarnex {

// Where a command goes, as the selection stood when the operator asked: a command that waits
// its turn on the worker still reaches the display or group it was meant for, even if the
// operator has selected another one meanwhile.
struct CommandTarget {
  enum class Route { kNone, kDisplay, kNetworkGroup, kSerial };
  Route route = Route::kNone;
  int display = -1;                 // kDisplay: the display index
  std::vector<int> members;         // kNetworkGroup: the display of each member, in member order
  std::vector<std::string> setIds;  // kSerial: the set ID, or each member's
  bool serialGroup = false;
  std::string historySetId;  // kSerial, one set ID: what its history lines name

  bool IsGroup() const { return route == Route::kNetworkGroup || serialGroup; }
};

// The one way everything talks to displays. A command goes to the selected display or to every
// member of the selected group, over the network or the serial line, and the reply comes back
// as text, or nothing when the display did not answer. Each call blocks its thread for the
// whole exchange. The console lock is held only to read the target and to record the outcome,
// never while a display is waited for: each display's channel keeps its exchanges apart, and
// exchanges with different displays run side by side.
class CCommandTransaction {
 public:
  explicit CCommandTransaction(CConsoleCore& core);

  // Routes by the communication setting and the selection. `command` carries set ID "01".
  std::optional<std::string> SendCommand(std::string_view command);
  // The selection now, for a command sent later.
  CommandTarget CaptureTarget();
  std::optional<std::string> SendCommand(std::string_view command, const CommandTarget& target);
  // One history line for the display or set ID of a single target; none for a group.
  void AppendHistoryFor(const CommandTarget& target, std::string_view operation);
  // To the display or set ID the caller already chose, without looking at the tree.
  std::optional<std::string> SendCommandToCurrent(std::string_view command);

  // For background work: one command to the network display at `index`. The operator's
  // current display is left as it is.
  std::optional<std::string> SendCommandToDisplay(int index, std::string_view command);

  // The exchange with the display at `index`: three failed receives give it up.
  std::optional<std::string> NetworkExchange(int index, std::string_view command);
  // The same without retries or give-up: one failed receive returns nothing.
  std::optional<std::string> NetworkQueryOnce(int index, std::string_view command);
  // One exchange on the serial line; empty when nothing arrived.
  std::string SerialExchange(std::string_view command);

 private:
  struct GroupTarget {
    int index;
    bool up;
    std::string address;  // the display's, when the send began
  };

  std::optional<std::string> SendNetworkGroup(const std::vector<int>& members,
                                              std::string_view command);
  std::vector<ExchangeOutcome> ExchangeWithMembers(const std::vector<GroupTarget>& targets,
                                                   const ExchangeSpec& spec);
  using State = CConsoleCore::State;
  std::optional<std::string> RecordMember(const State& state, const GroupTarget& target,
                                          std::string_view command, ExchangeOutcome& outcome);
  CommandTarget CaptureSerialTarget(const State& state);
  std::optional<std::string> SendSerial(std::string_view command, const CommandTarget& target);
  std::optional<std::string> SendSerialGroup(const std::vector<std::string>& setIds,
                                             std::string_view command);
  std::optional<std::string> SerialWithSetId(std::string_view command, const std::string& setId);
  std::optional<std::string> ExchangeAt(int index, const ExchangeSpec& spec, bool giveUp);
  std::optional<std::string> RouteToDisplay(int index, std::string_view command);
  void GroupHistory(const State& state, int index, std::string_view reply);
  // Records the outcome of an exchange with the display at `index`; lock held.
  std::optional<std::string> RecordOutcomeLocked(const State& state, int index,
                                                 const std::string& address,
                                                 ExchangeOutcome& outcome, bool giveUp);
  void GiveUpLocked(const State& state, int index);

  CConsoleCore& m_core;
};

// The history text that a reply of a group send writes, or nothing ("OK01x" -> "Power On").
std::optional<std::string_view> GroupHistoryText(std::string_view reply);

}  // namespace tarnex
