#pragma once
// fleet-bench's scripts: "tarnexctl power off" to the fleet's group and to a group of one,
// handed to the console over its owner socket, and run by tarnexctl itself where no console
// owns the links.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "scripting/owner_client.h"
#include "scripting/owner_server.h"
#include "scripting/schedule_runner.h"

namespace fleet_bench {

struct ScriptTimes {
  Clock::duration all{};
  Clock::duration one{};
};

inline tarnex::ScriptRequest PowerOffTo(const std::string& target) {
  tarnex::ScriptRequest request;
  request.verb = tarnex::ScriptRequest::Verb::kPower;
  request.on = false;
  request.targets = {target};
  request.timeoutSeconds = 600;
  return request;
}

// Through the console: the request crosses the owner socket and runs on the console's own
// connections and scheduler. `check` ends the bench on a wrong outcome.
template <typename Check>
ScriptTimes MeasureOwnerScripts(tarnex::CConsoleCore& core, const std::string& folder,
                                size_t fleetSize, Check check) {
  const std::string socketPath = folder + "/owner.sock";
  tarnex::OwnerServer server(core);
  std::string error;
  check(server.Start(socketPath, &error), "the owner socket: " + error);
  const auto ask = [&](const std::string& group, size_t members) {
    const auto began = Clock::now();
    const tarnex::ScriptReport report = tarnex::AskOwner(socketPath, PowerOffTo(group));
    const auto took = Clock::now() - began;
    check(tarnex::ExitCodeOf(report) == 0 && report.results.size() == members,
          "tarnexctl power off " + group + " exited " + std::to_string(tarnex::ExitCodeOf(report)) +
              " " + report.errorMessage);
    return took;
  };
  ScriptTimes times;
  times.all = ask("group:All", fleetSize);
  times.one = ask("group:One", 1);
  server.Stop();
  return times;
}

// The stored fleet as tarnexctl reads it: group "All" of every address, "One" of the first.
inline void WriteScriptConfig(const std::string& folder, const std::vector<std::string>& fleet) {
  std::ofstream out(folder + "/QXMNTConfig.ini");
  out << "[Communication]\nm_docCommunicationTrue=1\nm_docCommunicationSelect=1\n"
      << "[VALUE]\nm_docSocketNumber=" << fleet.size() << "\n[SINGLE]\n";
  for (size_t i = 0; i < fleet.size(); ++i) out << i << "=" << fleet[i] << "\n";
  out << "[GROUPCOUNT]\nm_docGroupNumCount=2\n[GROUPCHILDCOUNT]\n0=" << fleet.size()
      << "\n1=1\n[GROUPNAME]\n0=All\n1=One\n[GROUPCHILDNAME]\n";
  for (size_t i = 0; i < fleet.size(); ++i) out << i << "=[" << i + 1 << "]" << fleet[i] << "\n";
  out << fleet.size() << "=[1]" << fleet.front() << "\n[GROUPIPLIST]\n";
  for (size_t i = 0; i < fleet.size(); ++i) out << i << "=" << fleet[i] << "\n";
  out << fleet.size() << "=" << fleet.front() << "\n";
}

// tarnexctl run as a script runs it, in a folder no console owns; its exit status, or -1
// when it did not end within ten minutes.
inline int RunTarnexctl(const std::string& folder, const std::string& group) {
  // Made before the fork: the bench has threads, so the child may not allocate.
  std::vector<std::string> words = {TARNEXCTL_PROGRAM, "--config", folder, "--timeout", "600",
                                    "power",           "off",      group};
  std::vector<std::string> variables = {"XDG_RUNTIME_DIR=" + folder};
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (!std::string_view(*variable).starts_with("XDG_RUNTIME_DIR="))
      variables.emplace_back(*variable);
  }
  // Its text output is one line per display; the bench shows its own.
  const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  std::vector<char*> argv, envp;
  for (auto& word : words) argv.push_back(word.data());
  for (auto& variable : variables) envp.push_back(variable.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    if (quiet >= 0) ::dup2(quiet, STDOUT_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (quiet >= 0) ::close(quiet);
  const auto deadline = Clock::now() + std::chrono::minutes(10);
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) != child) {
    if (Clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Direct runs: tarnexctl connects the displays it names itself, so they cost the connects.
template <typename Check>
ScriptTimes MeasureDirectScripts(const std::string& folder, const std::vector<std::string>& fleet,
                                 Check check) {
  const std::string own = folder + "/direct";
  std::filesystem::create_directories(own);
  std::filesystem::permissions(own, std::filesystem::perms::owner_all);
  WriteScriptConfig(own, fleet);
  const auto run = [&](const std::string& group) {
    const auto began = Clock::now();
    const int status = RunTarnexctl(own, group);
    const auto took = Clock::now() - began;
    check(status == 0,
          "tarnexctl power off " + group + " (direct) exited " + std::to_string(status));
    return took;
  };
  ScriptTimes times;
  times.all = run("group:All");
  times.one = run("group:One");
  return times;
}

// Entries of five displays each, all due in one minute: the console runs them side by side.
// Their targets are address ranges within one /24, so the fleet is cut at those edges.
inline std::vector<std::string> FiveDisplayTargets(const std::vector<std::string>& fleet,
                                                   size_t most) {
  std::vector<std::string> targets;
  size_t first = 0;
  while (first + 5 <= fleet.size() && targets.size() < most) {
    const std::string& from = fleet[first];
    const std::string& to = fleet[first + 4];
    const size_t cut = from.rfind('.');
    if (from.compare(0, cut, to, 0, to.rfind('.')) != 0) {
      ++first;  // the five would cross into the next /24
      continue;
    }
    targets.push_back("display:" + from.substr(0, cut) + ".[" + from.substr(cut + 1) + "-" +
                      to.substr(to.rfind('.') + 1) + "]");
    first += 5;
  }
  return targets;
}

inline tarnex::ScheduleTable PowerOffAt(const std::vector<std::string>& targets, int minute) {
  tarnex::ScheduleTable table;
  for (size_t i = 0; i < targets.size(); ++i) {
    tarnex::ScheduleEntry entry;
    entry.name = "Entry " + std::to_string(i + 1);
    entry.target = targets[i];
    entry.action.kind = tarnex::ScheduleActionKind::kPowerOff;
    entry.when = {.minuteOfDay = minute, .days = 0x7f, .date = std::nullopt};
    table.entries.push_back(std::move(entry));
  }
  return table;
}

// The time the keeper takes from the minute to the last run's end, the table's entries all
// due at once. The clock is the bench's own.
template <typename Check>
Clock::duration TimeDueRuns(tarnex::CConsoleCore& core, const std::string& folder,
                            const std::vector<std::string>& targets, Check check) {
  std::time_t now = (std::time(nullptr) / 86400) * 86400 + 12 * 3600;  // a midday
  tm local{};
  localtime_r(&now, &local);
  const int minute = local.tm_hour * 60 + local.tm_min + 1;
  core.Lock()->Doc().m_docSchedules = PowerOffAt(targets, minute);
  std::filesystem::remove(folder + "/schedule-state");
  tarnex::ScheduleKeeper keeper(
      core, {.clock = [&now] { return now; }, .statePath = folder + "/schedule-state"});
  check(keeper.RunDue(true).empty(), "a schedule ran before its minute");
  now += 60;
  const auto began = Clock::now();
  const std::vector<tarnex::ScheduleRunRecord> runs = keeper.RunDue(false);
  const auto took = Clock::now() - began;
  size_t sound = 0;
  for (const auto& run : runs) sound += run.exit == 0 && run.results.size() == 5 ? 1 : 0;
  check(sound == targets.size(), std::to_string(sound) + " of " + std::to_string(targets.size()) +
                                     " scheduled runs reached their five displays");
  core.Lock()->Doc().m_docSchedules = {};
  return took;
}

}  // namespace fleet_bench
