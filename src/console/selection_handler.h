#pragma once

#include <string>

#include "console/console_core.h"
#include "console/page_host.h"
#include "registry/tree_observer.h"

namespace tarnex {

// Turns the operator's choice in the device tree into a target: a selected display is
// connected when its link is down, a group becomes the target of group sends, a serial item
// gives the set ID. Runs on the UI thread.
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
    static Followup Message(std::string text) {
      Followup f;
      f.message = std::move(text);
      return f;
    }
  };

  Followup SelectNetwork(const Designation& designation);
  Followup SelectNetworkDisplay(const std::string& key);
  Followup SelectNetworkGroup(const Designation& designation);
  Followup SelectSerial(const Designation& designation);
  Followup ConnectCurrent(const std::string& address);
  void Run(const Followup& followup);

  CConsoleCore& m_core;
  PageHost& m_pages;
};

}  // namespace tarnex
