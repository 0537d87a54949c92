#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "registry/tree_observer.h"

namespace tarnex {

class CConsoleCore;

// The one way everything talks to displays. A command goes to the selected display or to every
// member of the selected group, over the network or the serial line, and the reply comes back
// as text, or nothing when the display did not answer. Each call blocks its thread for the
// whole exchange and holds the console lock meanwhile.
class CCommandTransaction {
 public:
  explicit CCommandTransaction(CConsoleCore& core);

  // Routes by the communication setting and the selection. `command` carries set ID "01".
  std::optional<std::string> SendCommand(std::string_view command);
  // To the display or set ID the caller already chose, without looking at the tree.
  std::optional<std::string> SendCommandToCurrent(std::string_view command);

  // For background work: one command to the network display at `index`. The current display
  // is restored afterwards, so the operator's next command still goes to the display the
  // operator selected rather than to the one a worker addressed last.
  std::optional<std::string> SendCommandToDisplay(int index, std::string_view command);

  // The exchange with the display at m_docCurrentDisplay: three failed receives give it up.
  std::optional<std::string> NetworkExchange(std::string_view command);
  // The same without retries or give-up: one failed receive returns nothing.
  std::optional<std::string> NetworkQueryOnce(std::string_view command);
  // Power on or off, sent twice and answered without reading the display.
  std::string SendPowerCommand(std::string_view command);
  // One exchange on the serial line; empty when nothing arrived.
  std::string SerialExchange(std::string_view command);

 private:
  std::optional<std::string> SendNetwork(std::string_view command);
  std::optional<std::string> SendNetworkGroup(std::string_view command);
  std::optional<std::string> SendToMemberDisplay(int index, std::string_view command);
  std::optional<std::string> SendSerial(std::string_view command);
  std::optional<std::string> SendSerialGroup(TreeItem group, std::string_view command);
  std::optional<std::string> SerialWithSetId(std::string_view command, const std::string& setId);
  std::optional<std::string> ExchangeWithCurrent(std::string_view command, int maxFailedReceives,
                                                 bool giveUp);
  void GroupHistory(std::string_view reply);
  void GiveUp();

  CConsoleCore& m_core;
};

// The history text that a reply of a group send writes, or nothing ("OK01x" -> "Power On").
std::optional<std::string_view> GroupHistoryText(std::string_view reply);

}  // namespace tarnex
