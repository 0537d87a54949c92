#pragma once
// fleet-bench --pjlink N: a Power Off to a fleet of N native and N PJLink displays, against the
// same to a pair of one of each kind. The displays are served in this process, each PJLink one
// with a password of its own that the console knows as well, so every PJLink session starts
// with the hash. A group send reads each PJLink display's answer, where a native display is
// sent its command twice unread: the mixed group should take not much longer than the pair
// when the PJLink exchanges run side by side rather than one after the other.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "display-sim/display_fleet.h"
#include "fleet_driver.h"
#include "protocol/command_catalogue.h"

namespace fleet_bench {

struct MixedTimes {
  Clock::duration mixed{};  // medians over the rounds
  Clock::duration pair{};
};

inline std::string BenchPassword(size_t index) {
  return "bench-" + std::to_string(index);
}

inline Clock::duration Median(std::vector<Clock::duration> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// A session's first command carries MD5(random + password) as 32 hex digits in front.
inline bool Hashed(std::string_view command) {
  return command.size() > 34 && command.substr(32, 2) == "%1" &&
         std::all_of(command.begin(), command.begin() + 32,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// How many power-off commands each display got since the log was last cleared, in the form
// its kind is sent.
inline std::map<std::string, int> PowerOffsReceived(const tarnex::sim::DisplayFleet& sims) {
  std::map<std::string, int> received;
  for (const tarnex::sim::LogEntry& entry : sims.Log()) {
    const bool native = entry.command == tarnex::protocol::command::kPowerOff;
    if (native || entry.command.ends_with("%1POWR 0\r")) ++received[entry.address];
  }
  return received;
}

// One Power Off to the selected group: the time until it was sent, after which each member
// must have got it as often as `expected` says (a native display twice, a PJLink one once).
template <typename Check>
Clock::duration TimePowerOff(CoreDriver& core, tarnex::sim::DisplayFleet& sims,
                             const std::map<std::string, int>& expected, Check check) {
  sims.ClearLog();
  const auto began = Clock::now();
  check(core.Send(tarnex::protocol::command::kPowerOff).has_value(), "the Power Off got no reply");
  const auto took = Clock::now() - began;
  // The native commands go out unread: the last may still be on its way.
  const auto deadline = Clock::now() + 5s;
  while (PowerOffsReceived(sims) != expected && Clock::now() < deadline) {
    std::this_thread::sleep_for(2ms);
  }
  check(PowerOffsReceived(sims) == expected,
        "a member of the group of " + std::to_string(expected.size()) +
            " did not get its Power Off as often as its kind is sent it");
  return took;
}

// Serves `natives` and `pjlinks` (same count), then times `rounds` Power Offs to the group of
// them all, member order alternating the kinds, and as many to the pair of the first of each.
template <typename Check>
MixedTimes MeasureMixedPowerOff(const std::vector<std::string>& natives,
                                const std::vector<std::string>& pjlinks, int rounds, Check check) {
  tarnex::sim::DisplayFleet sims;
  std::vector<std::string> table = natives;
  table.insert(table.end(), pjlinks.begin(), pjlinks.end());
  std::vector<std::string> mixed;
  std::map<std::string, int> all;
  for (size_t i = 0; i < natives.size(); ++i) {
    sims.Add({.address = natives[i]});
    sims.AddPjlink(
        {.address = pjlinks[i], .password = BenchPassword(i), .warmUpMs = 0, .coolDownMs = 0});
    mixed.insert(mixed.end(), {natives[i], pjlinks[i]});
    all[natives[i]] = 2;
    all[pjlinks[i]] = 1;
  }
  const std::map<std::string, int> pair = {{natives.front(), 2}, {pjlinks.front(), 1}};

  CoreDriver core(table, {{"Mixed", mixed}, {"Pair", {natives.front(), pjlinks.front()}}});
  for (size_t i = 0; i < pjlinks.size(); ++i) core.UsePjlink(pjlinks[i], BenchPassword(i));
  const auto startedAt = Clock::now();
  core.Start();
  check(core.WaitIdle(60s), "the greetings after start-up did not end");
  std::printf("fleet-bench: %zu displays (%zu PJLink) connected in %lld ms\n", table.size(),
              pjlinks.size(), Ms(Clock::now() - startedAt));
  check(core.Connected() == static_cast<int>(table.size()),
        "start-up connected " + std::to_string(core.Connected()) + " of " +
            std::to_string(table.size()) + " displays");
  for (const std::string& address : pjlinks) {
    const std::vector<std::string> commands = sims.CommandsTo(address);
    check(!commands.empty() && Hashed(commands.front()),
          address + " was not sent the hash before its first command");
  }

  std::vector<Clock::duration> mixedTimes;
  std::vector<Clock::duration> pairTimes;
  for (int round = 0; round < rounds; ++round) {
    core.SelectGroup(0);
    mixedTimes.push_back(TimePowerOff(core, sims, all, check));
    core.SelectGroup(1);
    pairTimes.push_back(TimePowerOff(core, sims, pair, check));
    std::printf("fleet-bench: round %d: mixed %lld ms, pair %lld ms\n", round + 1,
                Ms(mixedTimes.back()), Ms(pairTimes.back()));
    std::fflush(stdout);
  }
  return {.mixed = Median(mixedTimes), .pair = Median(pairTimes)};
}

}  // namespace fleet_bench
