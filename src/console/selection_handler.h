#pragma once

#include <string>

#include "console/console_core.h"
#include "console/page_host.h"
#include "registry/tree_observer.h"

namespace tarnex {

// Turns the operator's choice in the device tree into a target: a selected display is
// connected when its link is down, a group becomes the target of group sends, a serial item
// gives the set ID. Runs on the UI thread; the connect of a display runs on the console's
// worker, and what follows it (a page refresh, "Connection Fail") once it is over.
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
    int connectIndex = -1;  // a display to connect on the worker
    std::string connectAddress;
    int groupMembers = -1;  // a group was selected: its member count for the group pages
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
    static Followup Connect(int index, std::string address) {
      Followup f;
      f.connectIndex = index;
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
  Followup SelectNetwork(const State& state, const Designation& designation);
  Followup SelectNetworkDisplay(const State& state, const std::string& key);
  Followup SelectNetworkGroup(const State& state, const Designation& designation);
  Followup SelectSerial(const State& state, const Designation& designation);
  // Worker thread: opens the display's link anew and records the outcome.
  void ConnectOnWorker(int index, const std::string& address, TreeItem item);
  Followup RecordConnect(const State& state, int index, const std::string& address, TreeItem item,
                         const Connection& connection);
  void Run(const Followup& followup);

  CConsoleCore& m_core;
  PageHost& m_pages;
};

}  // namespace tarnex
