#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <fstream>

#include "agent/fleet_state.h"
#include "support/agent_rig.h"
#include "support/child_process.h"

namespace tarnex::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The configuration of two displays, as the console writes it.
void WriteConfig(const std::string& folder, const std::vector<std::string>& addresses) {
  std::ofstream config(folder + "QXMNTConfig.ini");
  config << "[Communication]\nm_docCommunicationTrue=1\nm_docCommunicationSelect=1\n"
         << "[VALUE]\nm_docSocketNumber=" << addresses.size() << "\n[SINGLE]\n";
  for (size_t i = 0; i < addresses.size(); ++i) config << i << "=" << addresses[i] << "\n";
}

// tarnex-agent itself, as a service manager starts it.
class AgentProgram : public ChildProcess {
 public:
  AgentProgram(const MosquittoBroker& broker, const std::vector<std::string>& addresses)
      : ChildProcess(
            TARNEX_AGENT_PROGRAM,
            {"--site", "site-a", "--broker", broker.host() + ":" + std::to_string(broker.port()),
             "--user", "agent"},
            Options{.maxOpenFiles = -1,
                    .captureStderr = true,
                    .prepare = [&](const std::string& folder) { WriteConfig(folder, addresses); },
                    .sharedFolder = {}}) {}
};

class AgentLifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 2; ++i) {
      addresses.push_back(Loopback(i));
      fleet.Add({.address = addresses.back()});
    }
    ::setenv("TARNEX_MQTT_PASSWORD", broker.password("agent").c_str(), 1);
  }
  void TearDown() override { ::unsetenv("TARNEX_MQTT_PASSWORD"); }

  MqttProbe::Login Operator() const {
    return {.host = broker.host(),
            .port = broker.port(),
            .user = "operator",
            .password = broker.password("operator")};
  }
  // How long after `since` the agent topic said `word`; none within `wait`.
  static std::optional<Clock::duration> Said(MqttProbe& probe, const std::string& word,
                                             Clock::time_point since,
                                             std::chrono::milliseconds wait) {
    std::optional<Clock::duration> after;
    probe.Eventually(
        [&] {
          for (const auto& message : probe.MessagesLocked()) {
            if (message.topic == "tarnex/site-a/agent" && message.payload == word &&
                message.received >= since)
              after = message.received - since;
          }
          return after.has_value();
        },
        wait);
    return after;
  }

  MosquittoBroker broker;
  sim::DisplayFleet fleet;
  std::vector<std::string> addresses;
};

// The broker tells the site the agent went as soon as its connection drops, and within one
// and a half keepalives when the agent hangs with the connection open.
TEST_F(AgentLifecycle, OfflineFollowsAKilledOrStoppedAgent) {
  MqttProbe probe(Operator(), {"tarnex/site-a/#"});
  {
    AgentProgram agent(broker, addresses);
    ASSERT_TRUE(
        probe.Eventually([&] { return probe.LastLocked("tarnex/site-a/agent") == "online"; }, 10s))
        << agent.StandardError();
    const auto killed = Clock::now();
    agent.Signal(SIGKILL);
    const auto after = Said(probe, "offline", killed, 3s);
    ASSERT_TRUE(after);
    EXPECT_LT(*after, 1s);
  }
  AgentProgram agent(broker, addresses);
  ASSERT_TRUE(
      probe.Eventually([&] { return probe.LastLocked("tarnex/site-a/agent") == "online"; }, 10s));
  // tarnexctl finds the agent as the folder's owner and goes through its connections.
  ASSERT_TRUE(probe.Eventually([&] {
    const auto state =
        agent::StateFromJson(probe.LastLocked("tarnex/site-a/display/" + addresses[0] + "/state"));
    return state && state->link == "up";
  }));
  const int connections = fleet.Find(addresses[0])->Connections();
  const std::string status = std::string(TARNEXCTL_PROGRAM) + " --config '" + agent.Folder() +
                             "' status display:" + addresses[0] + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(("XDG_RUNTIME_DIR='" + agent.Folder() + "' " + status).c_str()), 0);
  const std::string off = std::string(TARNEXCTL_PROGRAM) + " --config '" + agent.Folder() +
                          "' power off display:" + addresses[0] + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(("XDG_RUNTIME_DIR='" + agent.Folder() + "' " + off).c_str()), 0);
  EXPECT_EQ(fleet.Find(addresses[0])->Connections(), connections);
  // What tarnexctl did through the agent is on the bus at once.
  EXPECT_TRUE(probe.Eventually([&] {
    const auto state =
        agent::StateFromJson(probe.LastLocked("tarnex/site-a/display/" + addresses[0] + "/state"));
    return state && state->power == "off";
  }));
  const auto stopped = Clock::now();
  agent.Signal(SIGSTOP);
  const auto after = Said(probe, "offline", stopped, 30s);
  agent.Signal(SIGCONT);
  ASSERT_TRUE(after);
  // One and a half keepalives (10 s) after the agent's last packet, as the broker checks them:
  // mosquitto looks at its clients' keepalives every few seconds, not at each one's moment,
  // and later still on a loaded machine (17 s seen alone, 21 s beside two builds).
  EXPECT_LT(*after, 25s);
  // A stop signal is a goodbye: offline, and the program ends within about a second.
  const auto asked = Clock::now();
  EXPECT_EQ(agent.Terminate(), 0);
  EXPECT_LT(Clock::now() - asked, 1500ms);
}

// While the broker is away the fleet is still watched and the history still written; when it
// is back, every state is on it again within seconds.
TEST(AgentBrokerOutage, EveryStateIsRepublishedAfterTheBrokerReturns) {
  MosquittoBroker broker;
  AgentRig rig(broker, 3);
  rig.options.broker.reconnectMaxSeconds = 30;
  ASSERT_TRUE(rig.Start()) << rig.error;
  ASSERT_TRUE(rig.Settle());
  rig.agent->RunPass();
  ASSERT_TRUE(AgentRig::Eventually([&] { return rig.agent->Listening(); }));
  broker.Stop();
  const auto down = Clock::now();
  rig.fleet.Find(rig.addresses[2])->SetRefuse(true);
  rig.agent->RunPass();
  std::this_thread::sleep_until(down + 20s);
  broker.Start();
  const auto back = Clock::now();
  MqttProbe probe(rig.OperatorLogin(), {"tarnex/site-a/#"});
  ASSERT_TRUE(probe.Eventually(
      [&] {
        for (const std::string& address : rig.addresses) {
          const auto state =
              agent::StateFromJson(probe.LastLocked("tarnex/site-a/display/" + address + "/state"));
          if (!state || state->power.empty()) return false;
        }
        return true;
      },
      10s));
  EXPECT_LT(Clock::now() - back, 5s);
  const auto lost =
      agent::StateFromJson(probe.Last("tarnex/site-a/display/" + rig.addresses[2] + "/state"));
  EXPECT_EQ(lost->link, "down");
  bool written = false;
  for (const std::string& line : rig.Operations())
    written |= line == rig.addresses[2] + " Monitor is not communicated with PC";
  EXPECT_TRUE(written);
}

}  // namespace
}  // namespace tarnex::testing
