#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QComboBox>
#include <QPushButton>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/network_manager_doc.h"
#include "console/command_transaction.h"
#include "console/console_core.h"
#include "console/selection_handler.h"
#include "console/serial_channel.h"
#include "display-sim/command_responder.h"
#include "display-sim/display_fleet.h"
#include "display-sim/display_state.h"
#include "pages/control_page.h"
#include "pages/display_kind.h"
#include "pages/property_sheet.h"
#include "platform/private_profile.h"
#include "support/faulty_sockets.h"
#include "support/recording_ui_host.h"

namespace tarnex::testing {

// A serial line with simulated displays behind it: each listed set ID answers with its own
// display state (with set ID "01", as the line hands replies to the pages), the others stay
// silent.
class SimSerialChannel : public SerialChannel {
 public:
  explicit SimSerialChannel(const std::vector<std::string>& setIds) {
    for (const auto& id : setIds) displays_[id] = std::make_unique<Display>();
  }
  bool Write(std::string_view command) override {
    written_.emplace_back(command);
    pending_.clear();
    if (command.size() < 5) return true;
    const auto found = displays_.find(std::string(command.substr(3, 2)));
    if (found != displays_.end()) {
      pending_ = found->second->responder.Answer(command).value_or("");
    }
    return true;
  }
  std::string Read(std::string_view, int) override { return pending_; }

  std::vector<std::string> written_;

 private:
  struct Display {
    sim::DisplayState state;
    sim::CommandResponder responder{state, "01"};
  };
  std::map<std::string, std::unique_ptr<Display>> displays_;
  std::string pending_;
};

// A console core on a fresh configuration folder with simulated displays on loopback, the
// property sheet of the pages and the selection handling that calls it. The protocol's pauses
// are skipped and receive time-outs are short.
class PagesFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarnex-pages-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = std::string(pattern) + "/";
    ::setenv("TARNEX_CONFIG_DIR", folder.c_str(), 1);
    sockets.receiveTimeoutMs = 150;
    g_displayKind = 0;
    doc = std::make_unique<COsprelNetworkManagerDoc>();
    core = std::make_unique<CConsoleCore>(*doc, ui, sockets);
    core->SetSleeper([](std::chrono::milliseconds) {});
  }
  void TearDown() override {
    handler.reset();
    sheet.reset();
    core.reset();
    doc.reset();
    DropPrivateProfileCache();
    std::system(("rm -rf '" + folder + "'").c_str());
  }

  // Stored displays and network groups, the tree built from them, and the sheet on top of it.
  void Start(const std::vector<std::string>& addresses,
             const std::vector<std::pair<std::string, std::vector<std::string>>>& groups = {}) {
    doc->m_docSocketNumber = static_cast<int>(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i) doc->m_docDisplays[i].m_address = addresses[i];
    doc->m_docGroupNumCount = static_cast<int>(groups.size());
    for (size_t g = 0; g < groups.size(); ++g) {
      doc->m_docGroupName[g] = groups[g].first;
      doc->SetGroupMemberCount(static_cast<int>(g), static_cast<int>(groups[g].second.size()));
      for (size_t m = 0; m < groups[g].second.size(); ++m) {
        doc->m_docGroups[g].m_labels[m] = groups[g].second[m];
      }
    }
    core->BuildTree();
    MakeSheet();
    fleet.ClearLog();
  }
  void MakeSheet() {
    sheet = std::make_unique<CMyPropertySheet>(*core);
    handler = std::make_unique<CSelectionHandler>(*core, *sheet);
  }

  template <typename Condition>
  static bool Eventually(Condition condition) {
    for (int i = 0; i < 200; ++i) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
  }
  bool CommandsArrive(const std::string& address, size_t count) {
    return Eventually([&] { return fleet.CommandsTo(address).size() >= count; });
  }
  std::vector<std::string> Commands(const std::string& address) const {
    return fleet.CommandsTo(address);
  }

  // The operations of the history, one per line, with the address: "127.0.0.5 Power On".
  std::vector<std::string> Operations(const char* file = "Network_HistoryReport.txt") const {
    std::ifstream in(folder + file, std::ios::binary);
    std::vector<std::string> result;
    std::string line;
    while (std::getline(in, line)) {
      const auto subject = line.find(" : ");
      const auto operation = line.find("    Operation : ");
      if (subject == std::string::npos || operation == std::string::npos) continue;
      result.push_back(line.substr(subject + 3, operation - subject - 3) + " " +
                       line.substr(operation + 16, line.size() - operation - 17));
    }
    return result;
  }

  TreeItem SingleItem(int row) const {
    return core->Tree().Model().Child(core->Tree().SingleRoot(), row);
  }
  TreeIcon IconOf(TreeItem item) const { return core->Tree().Model().Images(item).normal; }

  CControl& Control() const { return *sheet->Control(); }
  template <typename W>
  W* Widget(const char* name) const {
    W* widget = sheet->Control()->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QComboBox* List(const char* name) const { return Widget<QComboBox>(name); }
  void Click(const char* name) const { Widget<QPushButton>(name)->click(); }

  std::string folder;
  RecordingUiHost ui;
  FaultySockets sockets;
  std::unique_ptr<COsprelNetworkManagerDoc> doc;
  std::unique_ptr<CConsoleCore> core;
  sim::DisplayFleet fleet;
  std::unique_ptr<CMyPropertySheet> sheet;
  std::unique_ptr<CSelectionHandler> handler;
};

}  // namespace tarnex::testing
