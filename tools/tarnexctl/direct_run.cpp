#include "direct_run.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "config/network_manager_doc.h"
#include "console/console_core.h"
#include "console/serial_port_channel.h"
#include "links/link_connector.h"
#include "platform/ui_host.h"
#include "scripting/schedule_log.h"
#include "scripting/schedule_runner.h"
#include "scripting/script_runner.h"

namespace tarnex::ctl {
namespace {

// Nobody sits at a direct run: what the core would show in a box goes to the error stream,
// progress nowhere.
class ScriptUi : public UiHost {
 public:
  void ShowMessage(std::string_view text) override {
    std::fprintf(stderr, "tarnexctl: %.*s\n", static_cast<int>(text.size()), text.data());
  }
  bool AskYesNo(std::string_view, std::string_view) override { return false; }
  void ProgressCreate() override {}
  void ProgressSetPos(int) override {}
  void ProgressDestroy() override {}
  void TreeChanged() override {}
  void PageMustRefresh() override {}
};

// The named displays only, each once, all at once.
void ConnectNamed(CConsoleCore& core, const std::vector<NamedTarget>& targets) {
  std::set<DisplayId> seen;
  std::vector<DisplayId> ids;
  std::vector<std::string> addresses;
  {
    auto state = core.Lock();
    for (const NamedTarget& target : targets) {
      if (target.id == kNoDisplay || !seen.insert(target.id).second) continue;
      ids.push_back(target.id);
      addresses.push_back(state->AddressOf(target.id));
    }
  }
  const std::vector<Connection> connections =
      ConnectAll(core.Link().Api(), addresses, core.ConnectOptionsFor(ids, 1));
  auto state = core.Lock();
  for (size_t i = 0; i < ids.size() && i < connections.size(); ++i) {
    const int row = state->RowOf(ids[i]);
    if (row >= 0) {
      state->Link().AdoptConnection(row, addresses[i], connections[i]);
    } else if (connections[i].fd != kNoSocket) {
      core.Link().Api().Close(connections[i].fd);
    }
  }
}

}  // namespace

ScriptReport RunDirect(const ScriptRequest& request) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(request.timeoutSeconds);
  COsprelNetworkManagerDoc doc;
  doc.OnNewDocument();
  ScriptUi ui;
  CSerialPort port(ui);
  CSerialPortChannel channel(port);
  CConsoleCore core(doc, ui);
  core.SetSerialChannel(&channel);
  const bool serial = doc.m_docCommunicationSelect == kSerialMode;
  const bool contacts = request.verb != ScriptRequest::Verb::kList;
  if (serial && contacts) {
    port.OpenSerialPort(SerialLineSettings{doc.m_docPortStr, doc.m_docBaudrate, doc.m_docData,
                                           doc.m_docStop, doc.m_docParity});
  }
  const auto connect = [&core, serial](const std::vector<NamedTarget>& targets) {
    if (!serial) ConnectNamed(core, targets);
  };
  ScriptRunOptions options{.deadline = deadline, .linksKnown = false, .connect = connect};
  // Schedules due now run as the console would run them, each naming its displays.
  ScheduleKeeper keeper(core, {.clock = {},
                               .statePath = doc.m_docConfigFolder + kScheduleStateFile,
                               .logPath = doc.m_docConfigFolder + kScheduleLogFile,
                               .tellMissed =
                                   [](const std::string& text) {
                                     std::fprintf(stderr, "tarnexctl: %s\n", text.c_str());
                                   },
                               .run = {.linksKnown = false, .connect = connect},
                               .recordEveryEvaluation = true});
  options.schedules = {.keeper = &keeper,
                       .clock = {},
                       .persist = [&doc] { return doc.WriteNetworkSchedules(); },
                       .logPath = doc.m_docConfigFolder + kScheduleLogFile,
                       .runDueAtStart = true};
  ScriptReport report = AcceptAndRun(core, request, options);
  core.FlushHistory();
  core.Stop();
  core.Jobs().Stop();
  return report;
}

}  // namespace tarnex::ctl
