#pragma once

#include <stdlib.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "agent/site_agent.h"
#include "display-sim/display_fleet.h"
#include "platform/private_profile.h"
#include "support/faulty_sockets.h"
#include "support/history_lines.h"
#include "support/loopback_block.h"
#include "support/mosquitto_broker.h"
#include "support/mqtt_probe.h"

namespace tarnex::testing {

// A site agent in this process for site "site-a", on a fresh configuration folder, with
// simulated displays on loopback and the broker of the test. Passes run when the test says
// (RunPass), and the protocol's pauses are skipped, so a test is over in moments.
class AgentRig {
 public:
  using Groups = std::vector<std::pair<std::string, std::vector<int>>>;

  // `serve`: the displays are played in this process; otherwise by whoever the test starts.
  AgentRig(MosquittoBroker& broker, int displays, Groups groups = {}, bool serve = true)
      : m_broker(broker) {
    char pattern[] = "/tmp/tarnex-agent-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary folder");
    folder = std::string(pattern) + "/";
    ::setenv("TARNEX_CONFIG_DIR", folder.c_str(), 1);
    sockets.receiveTimeoutMs = 300;
    doc = std::make_unique<COsprelNetworkManagerDoc>();
    for (int i = 1; i <= displays; ++i) {
      addresses.push_back(Loopback(i));
      if (serve) fleet.Add({.address = addresses.back()});
    }
    doc->m_docSocketNumber = displays;
    for (int i = 0; i < displays; ++i)
      doc->m_docDisplays[static_cast<size_t>(i)].m_address = addresses[static_cast<size_t>(i)];
    doc->m_docGroupNumCount = static_cast<int>(groups.size());
    for (size_t g = 0; g < groups.size(); ++g) {
      doc->m_docGroupName[g] = groups[g].first;
      doc->SetGroupMemberCount(static_cast<int>(g), static_cast<int>(groups[g].second.size()));
      for (size_t m = 0; m < groups[g].second.size(); ++m) {
        const std::string& address = addresses[static_cast<size_t>(groups[g].second[m])];
        doc->m_docGroups[g].m_labels[m] = "[" + std::to_string(m + 1) + "]" + address;
        doc->m_docGroups[g].m_addresses[m] = address;
      }
    }
    options.site = "site-a";
    options.broker.host = broker.host();
    options.broker.port = broker.port();
    options.broker.user = "agent";
    options.broker.password = broker.password("agent");
    options.broker.reconnectMaxSeconds = 1;
    options.poll = std::chrono::hours(1);
    options.passAtStart = false;
    options.sockets = &sockets;
  }
  ~AgentRig() {
    agent.reset();
    doc.reset();
    DropPrivateProfileCache();
    std::system(("rm -rf '" + folder + "'").c_str());
  }

  // Starts the agent; false with the reason in `error`.
  bool Start() {
    agent = std::make_unique<agent::SiteAgent>(*doc, options);
    agent->Core().SetSleeper([](std::chrono::milliseconds) {});
    return agent->Start(&error);
  }
  // Until the start-up connects are over and every display's link is known.
  bool Settle() { return agent->Core().Jobs().WaitIdle(std::chrono::seconds(10)); }

  MqttProbe::Login OperatorLogin() const {
    return {.host = m_broker.host(),
            .port = m_broker.port(),
            .user = "operator",
            .password = m_broker.password("operator")};
  }
  template <typename Condition>
  static bool Eventually(Condition condition,
                         std::chrono::milliseconds wait = std::chrono::seconds(5)) {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
  }
  std::vector<std::string> Operations() {
    agent->Core().FlushHistory();
    return HistoryOperations(ReadHistory());
  }
  size_t CommandsTo(int display, const std::string& command) const {
    size_t count = 0;
    for (const std::string& seen : fleet.CommandsTo(addresses[static_cast<size_t>(display)]))
      count += seen == command ? 1 : 0;
    return count;
  }

  std::string folder;
  std::string error;
  FaultySockets sockets;
  sim::DisplayFleet fleet;
  std::vector<std::string> addresses;
  std::unique_ptr<COsprelNetworkManagerDoc> doc;
  agent::AgentOptions options;
  std::unique_ptr<agent::SiteAgent> agent;

 private:
  std::string ReadHistory() const {
    std::ifstream in(folder + "Network_HistoryReport.txt", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  MosquittoBroker& m_broker;
};

}  // namespace tarnex::testing
