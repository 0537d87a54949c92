#pragma once

#include <functional>
#include <string>

#include "console/console_core.h"
#include "links/display_search.h"
#include "platform/datagram_api.h"

namespace tarnex {

// The Search command without its dialog: one broadcast, then every display that answered is
// connected at once and recorded in the order of the replies.
//
// A reply names a display by its MAC. A display known by its MAC takes the reply's MAC and
// octets; at its stored address it keeps a live link and only a down one is connected
// again; at a new address it moves there only when the connect there succeeds, and its items
// follow it. Any other reply joins the entry that holds its address, or becomes a new display
// at the end of the table and under "Single", connected or not. The operator's selection is
// never touched.
class CDisplayDiscovery {
 public:
  static constexpr const char* kListFull =
      "The display list is full (1000 displays): the other displays found were not added.";

  struct Hooks {
    // Each called on the search's worker; the dialog queues them to the UI thread.
    std::function<void(const std::string& address)> loading;  // a new display is connected
    std::function<void()> completed;                          // once, at the end, always
  };

  explicit CDisplayDiscovery(CConsoleCore& core, DatagramApi& datagrams = PosixDatagrams());

  // Queues one search on the console's workers. While it listens it holds no display, so the
  // operator's work goes on beside it; the adds and moves then run as a job of their own that
  // holds the displays whose links it replaces, as no exchange may run on such a display.
  void Start(SearchOptions options, Hooks hooks);
  // The search itself, on the calling thread.
  void Run(const SearchOptions& options, const Hooks& hooks);

 private:
  struct Step;
  struct Found;
  // Listens, then plans under the lock which replies are connected.
  Found Listen(const SearchOptions& options);
  // Connects what was planned and records every reply in reply order.
  void Settle(const Found& found, const Hooks& hooks);
  enum class Handled { kAdded, kOther, kFull };
  // Lock held. `connection` is the connect made at the reply's address, or null when none
  // was made (the link there was up, or the table was full).
  Handled HandleSearchReply(const CConsoleCore::State& state, const SearchReply& reply,
                            const Connection* connection);

  CConsoleCore& m_core;
  DatagramApi& m_datagrams;
};

}  // namespace tarnex
