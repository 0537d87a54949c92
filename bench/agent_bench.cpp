// The site agent with 1000 displays served by one display-sim process and Debian's mosquitto
// on loopback:
//   direct group: Power Off to the group of all 1000 run in the agent's process, as its owner
//           socket runs tarnexctl's request, until the last member's command is in the log;
//   states: then one state pass, from its end until a subscriber holds all 1000 new states
//           (every display went off behind the state book's back);
//   mqtt group: Power Off to the same group as one `command` request on the bus, until the
//           last member's command is in the log.
// Prints "agent-bench: states <ms> ms, mqtt group <ms> ms, direct group <ms> ms".

#include <cstdio>
#include <map>

#include "agent/fleet_state.h"
#include "fleet_sim.h"
#include "platform/open_file_limit.h"
#include "platform/scratch_folder.h"  // tests/platform
#include "scripting/script_runner.h"
#include "support/agent_rig.h"

namespace {

using namespace std::chrono_literals;
using fleet_bench::Clock;
using fleet_bench::Ms;
using tarnex::testing::AgentRig;
using tarnex::testing::MosquittoBroker;
using tarnex::testing::MqttProbe;

constexpr const char* kPowerOff = "ka 01 00\\n";  // as the log writes it

// Until every display's log line shows Power Off, or `limit` passed; when it did. The log
// holds only what came after `from` (its size in bytes when the send began).
std::optional<Clock::time_point> AllReceived(const std::string& log, const AgentRig& rig,
                                             std::streamoff from, std::chrono::seconds limit) {
  const auto until = Clock::now() + limit;
  std::map<std::string, bool> seen;
  std::streamoff read = from;
  while (Clock::now() < until) {
    std::ifstream in(log);
    in.seekg(read);
    std::string line;
    while (std::getline(in, line)) {
      if (in.eof()) break;  // a line still being written
      read = in.tellg();
      const size_t tab = line.find('\t');
      if (tab != std::string::npos && line.compare(tab + 1, std::string::npos, kPowerOff) == 0)
        seen[line.substr(0, tab)] = true;
    }
    if (seen.size() >= rig.addresses.size()) return Clock::now();
    std::this_thread::sleep_for(2ms);
  }
  return std::nullopt;
}

std::streamoff LogSize(const std::string& log) {
  std::ifstream in(log, std::ios::ate);
  return in ? static_cast<std::streamoff>(in.tellg()) : 0;
}

long long DirectGroup(AgentRig& rig, const std::string& log) {
  tarnex::ScriptRequest request;
  request.verb = tarnex::ScriptRequest::Verb::kPower;
  request.targets = {"group:All"};
  const std::streamoff from = LogSize(log);
  const auto asked = Clock::now();
  std::thread run([&] {
    tarnex::AcceptAndRun(rig.agent->Core(), request,
                         {.deadline = Clock::now() + 120s,
                          .linksKnown = true,
                          .connect = {},
                          .schedules = {},
                          .directory = {}});
  });
  const auto last = AllReceived(log, rig, from, 120s);
  run.join();
  return last ? Ms(*last - asked) : -1;
}

long long StatesAfterAPass(AgentRig& rig, MqttProbe& probe) {
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

long long MqttGroup(AgentRig& rig, MqttProbe& probe, const std::string& log) {
  const std::streamoff from = LogSize(log);
  const auto asked = Clock::now();
  probe.Publish({.topic = "tarnex/site-a/command",
                 .payload = R"({"verb":"power","targets":["group:All"],"state":"off"})",
                 .qos = 1,
                 .retain = false,
                 .responseTopic = "tarnex/site-a/reply/bench",
                 .correlation = "bench",
                 .expirySeconds = std::nullopt});
  const auto last = AllReceived(log, rig, from, 120s);
  return last ? Ms(*last - asked) : -1;
}

int Run(int displays) {
  tarnex::testing::ScratchFolder scratch;
  const std::string log = scratch.File("display-sim.log");
  MosquittoBroker broker;
  std::vector<int> everyone(static_cast<size_t>(displays));
  for (int i = 0; i < displays; ++i) everyone[static_cast<size_t>(i)] = i;
  AgentRig rig(broker, displays, {{"All", everyone}}, false);
  fleet_bench::SimProcess sim(
      fleet_bench::SimProgramPath(),
      {"--tcp", rig.addresses.front() + "-" + rig.addresses.back(), "--log", log});
  if (!sim.WaitForLine("display-sim: ready", 60s)) {
    std::fprintf(stderr, "agent-bench: display-sim did not get ready\n");
    return 1;
  }
  if (!rig.Start() || !rig.Settle()) {
    std::fprintf(stderr, "agent-bench: the agent did not start: %s\n", rig.error.c_str());
    return 1;
  }
  while (!rig.agent->Listening()) std::this_thread::sleep_for(10ms);
  MqttProbe probe(rig.OperatorLogin(), {"tarnex/site-a/display/+/state"});
  probe.WaitConnected();
  rig.agent->RunPass();
  rig.agent->Publisher().WaitSettled(30s);
  const long long direct = DirectGroup(rig, log);
  // The next states go out a second after the last ones at the soonest.
  std::this_thread::sleep_for(1100ms);
  const long long states = StatesAfterAPass(rig, probe);
  const long long mqtt = MqttGroup(rig, probe, log);
  rig.agent->Intake().WaitIdle(60s);
  std::printf("agent-bench: states %lld ms, mqtt group %lld ms, direct group %lld ms\n", states,
              mqtt, direct);
  return states < 0 || mqtt < 0 || direct < 0 ? 1 : 0;
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
    return Run(displays);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "agent-bench: %s\n", error.what());
    return 1;
  }
}
