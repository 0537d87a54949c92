#pragma once

#include <string>

#include "console/console_core.h"
#include "console/page_host.h"
#include "console/selection.h"
#include "registry/tree_observer.h"
#include "registry/tree_selection.h"

namespace tarnex {

// The selection the designation of `item` makes, its displays looked up by their addresses:
// a member whose address no display holds selects nothing, and a group lists it as absent.
Selection SelectionFor(const CConsoleCore::State& state, const Designation& designation,
                       TreeItem item);

// Turns the operator's choice in the device tree into the one Selection value: a display by
// its id (connected when its link is down), a group with its members, a serial set or group by
// set numbers. Runs on the UI thread, which alone writes the selection; the connect of a
// display runs on a console worker, which records the display's link state and hands what
// follows (the selection's state, a page refresh, "Connection Fail") back to the UI thread,
// where it counts only while the operator still has that display selected.
class CSelectionHandler {
 public:
  CSelectionHandler(CConsoleCore& core, PageHost& pages);

  // The tree's selection changed to `item`.
  void OnSelectionChanged(TreeItem item);
  // The Connect command: retries the link of the selected display.
  void OnConnectCommand();

 private:
  // What to do once the console lock is released.
  struct Followup {
    bool refreshPage = false;
    DisplayId connectId = kNoDisplay;  // a display to connect on a worker
    std::string connectAddress;
    int groupMembers = -1;      // a group was selected: its member count for the group pages
    int showGroupMembers = -1;  // Connect on a group: the group page comes on top
    std::string message;

    static Followup Refresh() {
      Followup f;
      f.refreshPage = true;
      return f;
    }
    static Followup Group(int members) {
      Followup f;
      f.groupMembers = members;
      return f;
    }
    static Followup Connect(DisplayId id, std::string address) {
      Followup f;
      f.connectId = id;
      f.connectAddress = std::move(address);
      return f;
    }
    static Followup Message(std::string text) {
      Followup f;
      f.message = std::move(text);
      return f;
    }
  };

  using State = CConsoleCore::State;
  // What a new selection asks for: a connect, a page refresh, the group pages.
  Followup Follow(const State& state, const Selection& selection);
  Followup ConnectSelected(const State& state, const Selection& selection);
  // Worker thread: opens the display's link anew and records the outcome.
  void ConnectOnWorker(DisplayId id, const std::string& address, TreeItem item,
                       std::uint64_t generation);
  // Worker thread, lock held: the display's link state and icons; what the selection makes
  // of it, for the UI thread.
  struct ConnectResult {
    bool recorded = false;
    bool connected = false;
    bool noDescriptors = false;
  };
  ConnectResult RecordConnect(const State& state, DisplayId id, const std::string& address,
                              const Connection& connection);
  // UI thread.
  void ApplyConnect(DisplayId id, TreeItem item, std::uint64_t generation,
                    const ConnectResult& result);
  void Run(const Followup& followup);

  CConsoleCore& m_core;
  PageHost& m_pages;
};

}  // namespace tarnex
