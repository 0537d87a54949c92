// The site agent with 1000 simulated displays (one display fleet, as display-sim runs it) and
// Debian's mosquitto on loopback:
//   states: every display's power flipped behind the agent's back, then one state pass; from
//           the pass's end until a subscriber holds all 1000 new states;
//   mqtt group: Power Off to the group of all 1000 as one `command` request, until the last
//           member's command is in the displays' log;
//   direct group: the same request run in the agent's process (as the owner socket runs it).
// Prints "agent-bench: states <ms> ms, mqtt group <ms> ms, direct group <ms> ms".

#include <cstdio>
#include <nlohmann/json.hpp>

#include "agent/fleet_state.h"
#include "platform/open_file_limit.h"
#include "scripting/script_runner.h"
#include "support/agent_rig.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tarnex::testing::AgentRig;
using tarnex::testing::MosquittoBroker;
using tarnex::testing::MqttProbe;

long long Ms(Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

// Until every display's log holds `command` `count` times, or `limit` passed; when it did.
std::optional<Clock::time_point> AllReceived(AgentRig& rig, const std::string& command,
                                             size_t count, std::chrono::seconds limit) {
  const auto until = Clock::now() + limit;
  while (Clock::now() < until) {
    std::map<std::string, size_t> seen;
    for (const auto& entry : rig.fleet.Log()) seen[entry.address] += entry.command == command;
    size_t done = 0;
    for (const std::string& address : rig.addresses) done += seen[address] >= count ? 1 : 0;
    if (done == rig.addresses.size()) return Clock::now();
    std::this_thread::sleep_for(5ms);
  }
  return std::nullopt;
}

long long StatesAfterAPass(AgentRig& rig, MqttProbe& probe) {
  for (const std::string& address : rig.addresses) rig.fleet.Find(address)->SetValue("ka", "00");
  rig.agent->RunPass();
  const auto ended = Clock::now();
  const bool all = probe.Eventually(
      [&] {
        for (const std::string& address : rig.addresses) {
          const auto state = tarnex::agent::StateFromJson(
              probe.LastLocked("tarnex/site-a/display/" + address + "/state"));
          if (!state || state->power != "off") return false;
        }
        return true;
      },
      60s);
  return all ? Ms(Clock::now() - ended) : -1;
}

long long MqttGroup(AgentRig& rig, MqttProbe& probe) {
  rig.fleet.ClearLog();
  const auto asked = Clock::now();
  probe.Publish({.topic = "tarnex/site-a/command",
                 .payload = R"({"verb":"power","targets":["group:All"],"state":"off"})",
                 .qos = 1,
                 .retain = false,
                 .responseTopic = "tarnex/site-a/reply/bench",
                 .correlation = "bench",
                 .expirySeconds = std::nullopt});
  const auto last = AllReceived(rig, "ka 01 00\n", 1, 120s);
  return last ? Ms(*last - asked) : -1;
}

long long DirectGroup(AgentRig& rig) {
  rig.fleet.ClearLog();
  tarnex::ScriptRequest request;
  request.verb = tarnex::ScriptRequest::Verb::kPower;
  request.targets = {"group:All"};
  const auto asked = Clock::now();
  std::thread run([&] {
    tarnex::AcceptAndRun(rig.agent->Core(), request,
                         {.deadline = Clock::now() + 120s,
                          .linksKnown = true,
                          .connect = {},
                          .schedules = {},
                          .directory = {}});
  });
  const auto last = AllReceived(rig, "ka 01 00\n", 1, 120s);
  run.join();
  return last ? Ms(*last - asked) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  int displays = 1000;
  if (argc == 3 && std::string(argv[1]) == "--displays") displays = std::atoi(argv[2]);
  if (displays < 1 || displays > 1000) {
    std::fprintf(stderr, "Usage: agent-bench [--displays N (1 to 1000)]\n");
    return 2;
  }
  tarnex::RaiseOpenFileLimit();
  try {
    MosquittoBroker broker;
    std::vector<int> everyone(static_cast<size_t>(displays));
    for (int i = 0; i < displays; ++i) everyone[static_cast<size_t>(i)] = i;
    AgentRig rig(broker, displays, {{"All", everyone}});
    if (!rig.Start() || !rig.Settle()) {
      std::fprintf(stderr, "agent-bench: the agent did not start: %s\n", rig.error.c_str());
      return 1;
    }
    while (!rig.agent->Listening()) std::this_thread::sleep_for(10ms);
    MqttProbe probe(rig.OperatorLogin(), {"tarnex/site-a/display/+/state"});
    probe.WaitConnected();
    rig.agent->RunPass();
    rig.agent->Publisher().WaitSettled(30s);
    // The next states come a second after the last ones at the soonest.
    std::this_thread::sleep_for(1100ms);
    const long long states = StatesAfterAPass(rig, probe);
    const long long mqtt = MqttGroup(rig, probe);
    rig.agent->Intake().WaitIdle(60s);
    const long long direct = DirectGroup(rig);
    std::printf("agent-bench: states %lld ms, mqtt group %lld ms, direct group %lld ms\n", states,
                mqtt, direct);
    return states < 0 || mqtt < 0 || direct < 0 ? 1 : 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "agent-bench: %s\n", error.what());
    return 1;
  }
}
