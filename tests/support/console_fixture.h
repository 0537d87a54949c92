#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

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
#include "platform/private_profile.h"
#include "support/faulty_sockets.h"
#include "support/history_lines.h"
#include "support/loopback_block.h"
#include "support/recording_ui_host.h"

namespace tarnex::testing {

// Alarms recorded instead of mailed.
class RecordingMailer : public AlarmMailer {
 public:
  void Enqueue(AlarmKind kind, const std::string& address) override {
    std::lock_guard lock(mutex_);
    alarms_.push_back(std::to_string(static_cast<int>(kind)) + " " + address);
  }
  std::vector<std::string> Alarms() const {
    std::lock_guard lock(mutex_);
    return alarms_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> alarms_;
};

// A serial line with simulated displays behind it: each listed set ID answers with its own
// display state, the others stay silent.
class SimSerialChannel : public SerialChannel {
 public:
  explicit SimSerialChannel(std::vector<std::string> setIds) {
    for (auto& id : setIds) displays_[id] = std::make_unique<Display>();
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
  std::string Read(std::string_view, int timeoutMs, int) override {
    timeouts_.push_back(timeoutMs);
    return pending_;
  }

  std::vector<std::string> written_;
  std::vector<int> timeouts_;  // how long each read was to wait

 private:
  struct Display {
    sim::DisplayState state;
    sim::CommandResponder responder{state, "01"};
  };
  std::map<std::string, std::unique_ptr<Display>> displays_;
  std::string pending_;
};

// A console core on a fresh configuration folder, with simulated displays on loopback. The
// protocol's pauses are skipped and receive time-outs are short, so a silent display costs
// a fraction of a second. A test may open several in turn.
class ConsoleRig {
 public:
  virtual ~ConsoleRig() { Close(); }

  void Open() {
    char pattern[] = "/tmp/tarnex-console-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = std::string(pattern) + "/";
    ::setenv("TARNEX_CONFIG_DIR", folder.c_str(), 1);
    sockets.receiveTimeoutMs = 150;
    doc = std::make_unique<COsprelNetworkManagerDoc>();
    core = std::make_unique<CConsoleCore>(*doc, ui, sockets);
    core->SetSleeper([](std::chrono::milliseconds) {});
    core->SetAlarmMailer(&mailer);
  }
  void Close() {
    core.reset();
    doc.reset();
    if (folder.empty()) return;
    DropPrivateProfileCache();
    std::system(("rm -rf '" + folder + "'").c_str());
    folder.clear();
  }

  // Stored displays and network groups, as a loaded configuration holds them.
  void Configure(const std::vector<std::string>& addresses,
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
  }

  // The stored display in `row` is reached over PJLink, with this password.
  void MakePjlink(int row, const std::string& password = {}) {
    DisplayRecord& record = doc->m_docDisplays[static_cast<size_t>(row)];
    record.m_linkKind = LinkKind::kPjlink;
    if (!password.empty()) doc->m_docPjlinkPasswords[record.m_address] = password;
  }

  // The serial line with one group "Hall" of these member labels ("[1]PJTR 5"), as a loaded
  // serial configuration holds it.
  void ConfigureSerialGroup(const std::vector<std::string>& labels) {
    doc->m_docCommunicationSelect = kSerialMode;
    doc->m_docSerialGroupNumCount = 1;
    doc->m_docGroupName[0] = "Hall";
    doc->SetSerialGroupMemberCount(0, static_cast<int>(labels.size()));
    doc->m_docSerialGroups[0].m_labels = labels;
  }

  // The tree selects `item` and the console's selection becomes what it designates, as the
  // selection handling makes it, without the connect and the page reads that follow.
  void SelectItem(TreeItem item) {
    auto state = core->Lock();
    state->Select(SelectionFor(state, state->Tree().Select(item), item));
  }

  Selection Selected() { return core->Lock()->Selected(); }
  bool SelectionUsable() { return core->Lock()->SelectionUsable(); }

  // The operator selects the group, and a command's target is taken then.
  CommandTarget SelectGroup(int group = 0) {
    const TreeItem item = core->Lock()->Tree().GroupItem(group);
    SelectItem(item);
    return core->Transaction().CaptureTarget();
  }

  // The simulated displays work on their own threads: what they saw is awaited, briefly.
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

  // The operator's work runs on the console's worker: what a test asked for is over when the
  // worker is idle.
  virtual void Settle() { EXPECT_TRUE(core->Jobs().WaitIdle(std::chrono::seconds(10))); }

  std::optional<std::string> Send(std::string_view command) {
    return core->Transaction().SendCommand(command);
  }

  std::string History(const char* file = "Network_HistoryReport.txt") const {
    core->FlushHistory();
    std::ifstream in(folder + file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The operations of the history, one per line, with the address: "127.0.0.5 Power On".
  std::vector<std::string> Operations(const char* file = "Network_HistoryReport.txt") const {
    return HistoryOperations(History(file));
  }

  // Whether some line of the network history holds the text.
  bool HasOperation(const std::string& text) const {
    for (const std::string& line : Operations()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  // The tree, for a test that is the only thread touching it at that moment.
  DeviceTree& Tree() const { return core->Lock()->Tree(); }

  TreeItem SingleItem(int row) const { return Tree().Model().Child(Tree().SingleRoot(), row); }
  TreeIcon IconOf(TreeItem item) const { return Tree().Model().Images(item).normal; }

  std::string folder;
  RecordingUiHost ui;
  FaultySockets sockets;
  RecordingMailer mailer;
  std::unique_ptr<COsprelNetworkManagerDoc> doc;
  std::unique_ptr<CConsoleCore> core;
  sim::DisplayFleet fleet;
};

class ConsoleFixture : public ::testing::Test, public ConsoleRig {
 protected:
  void SetUp() override { Open(); }
  void TearDown() override { Close(); }
};

}  // namespace tarnex::testing
