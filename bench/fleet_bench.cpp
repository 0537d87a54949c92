// fleet-bench: the console core against a whole fleet of simulated displays on loopback.
//
// One display-sim process serves the fleet (127.0.1.1 upwards), so that this process holds
// only the console's side. The last two addresses of --displays are not part of the fleet:
// one silent display (it accepts connections and reads, never answers) and one healthy one,
// for the switch below; the fleet is the rest. Measured: start-up with the stored displays of
// which some are unreachable (until every display has its state), one supervision pass over
// the unreachable ones, the group status of every fleet display while the unreachable ones are
// down (until every row is in), "kd 01 01\n" to a group of every fleet display once all
// answer, the same to a group of one, a 70-character on-screen message to the group of the
// fleet, the switch, and the peak resident memory of this process.
//
// The switch: the operator selects the silent display and its Control page read starts, then
// selects the healthy display; measured is the time from that second selection until the
// healthy display's page read has returned with its values. The read itself paces the
// display (three exchanges of about 100 ms; the 200 ms pause after them comes once the values
// are handed over), so about 300 ms is the floor; what the switch adds shows in the line
// before the summary, which says when the healthy display's read began. Three times: with
// nothing else in flight to the silent display, with a setter to it in flight, and with a
// group send in flight to a group of the fleet and the silent display. The selection comes
// once the silent display has received the read's query (or the group's command), so the
// read, or the send it waits behind, is really waiting for the silent display. The bench
// fails when the cancelled read blames the silent display: a "Monitor is not communicated
// with PC" line for it or a "Projector is Disconnected" message. The setter and the group
// send are not cancelled by a selection; each gives the silent display up at its own deadline
// with one such line, which is expected, and the next supervision pass reconnects it.
//
// Two more show that fleet work holds a display only for that display's own exchanges: with a
// group send in flight to the fleet and the silent display while the unreachable displays are
// down, the time from the selection of an answering member until its page read's first query
// reaches it (lease); and the same for the healthy display while a search that every display
// answers listens (search). Both are bounded by one exchange in flight on that display.
//
// Last, a second console on the same fleet with a configuration at capacity (300 groups of
// 1000 members): what one send to a group of 1000 listings adds to the peak resident memory.
//
// The line before the last:
//   fleet-bench: lease <ms> ms, search <ms> ms
// The last line is the summary (switch: nothing / setter / group send in flight):
//   fleet-bench: start <ms> ms, pass <ms> ms, group <ms> ms, one <ms> ms, message <ms> ms,
//                switch <ms>/<ms>/<ms> ms, status <ms> ms, rss <MB> MB,
//                capacity send +<MB> MB   (one line)
//
// With --pjlink N it runs only the mixed fleet of pjlink_phase.h instead, 127.0.1.1 upwards:
// N native displays, then N PJLink ones; its last line is
//   mixed <ms> ms, pair <ms> ms
// the medians of the Power Off to the group of all 2N and to the pair of one of each kind.

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fleet_driver.h"
#include "fleet_sim.h"
#include "pjlink_phase.h"
#include "platform/open_file_limit.h"
#include "protocol/command_catalogue.h"
#include "script_phase.h"

namespace {

using namespace fleet_bench;
using namespace std::chrono_literals;

constexpr uint32_t kFirstAddress = (127U << 24) | (1U << 8) | 1U;  // 127.0.1.1
constexpr auto kSimStartTimeout = 120s;
constexpr int kSpareDescriptors = 64;
constexpr std::string_view kCommand = "kd 01 01\n";
// The fleet answers searches here, away from the displays' own port; loopback only.
constexpr uint16_t kSearchPort = 39762;
// Long enough for the fleet's answers to be coming in, well within the quiet period.
constexpr auto kSearchHeard = 300ms;
// The silent and the healthy display of the switch, after the fleet.
constexpr int kSwitchDisplays = 2;
// Far more than a loopback exchange takes; a read or a send that is not seen by then is lost.
constexpr auto kReceiveWait = 5s;
// More than a send to the silent display takes to give it up (three receives of 3 s).
constexpr auto kSettleWait = 30s;
constexpr std::string_view kLostMessage = "Projector is Disconnected";

struct Options {
  int displays = 1000;
  int unreachable = 500;
  int timeoutSeconds = 7200;
  int pjlink = 0;  // N of --pjlink; 0: the run above
};

constexpr int kPjlinkRounds = 5;

int ParseCount(std::string_view flag, const char* text, int low, int high) {
  const std::string_view value = text == nullptr ? std::string_view() : text;
  int number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || error != std::errc() || end != value.data() + value.size() || number < low ||
      number > high) {
    throw std::invalid_argument(std::string(flag) + " wants a number from " + std::to_string(low) +
                                " to " + std::to_string(high));
  }
  return number;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  bool unreachableGiven = false;
  // Every flag takes a value: they come in pairs.
  for (int i = 1; i < argc; i += 2) {
    const std::string_view flag = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (flag == "--displays") {
      options.displays = ParseCount(flag, value, kSwitchDisplays + 1, tarnex::kMaxDisplays);
    } else if (flag == "--unreachable") {
      options.unreachable = ParseCount(flag, value, 0, tarnex::kMaxDisplays);
      unreachableGiven = true;
    } else if (flag == "--pjlink") {
      options.pjlink = ParseCount(flag, value, 1, tarnex::kMaxDisplays / 2);
    } else if (flag == "--timeout") {
      options.timeoutSeconds = ParseCount(flag, value, 1, 86400);
    } else {
      throw std::invalid_argument("unknown flag " + std::string(flag));
    }
  }
  if (!unreachableGiven) options.unreachable = std::min(options.unreachable, options.displays / 2);
  if (options.unreachable > options.displays - kSwitchDisplays) {
    throw std::invalid_argument("--unreachable cannot exceed --displays less the " +
                                std::to_string(kSwitchDisplays) + " switch displays");
  }
  return options;
}

std::string AddressAt(int index) {
  in_addr address{htonl(kFirstAddress + static_cast<uint32_t>(index))};
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

// Holds the configuration folder of the run and removes it afterwards.
class ConfigFolder {
 public:
  ConfigFolder() {
    char pattern[] = "/tmp/fleet-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("fleet-bench: no temporary folder");
    path_ = pattern;
    ::setenv("TARNEX_CONFIG_DIR", (path_ + "/").c_str(), 1);
  }
  ~ConfigFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ConfigFolder(const ConfigFolder&) = delete;
  ConfigFolder& operator=(const ConfigFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error("fleet-bench: " + what);
}

// The fleet's unreachable displays are its last ones; the silent display follows the fleet.
std::vector<std::string> SimArguments(const Options& options, const std::string& logPath) {
  const int fleet = options.displays - kSwitchDisplays;
  std::vector<std::string> args = {"--tcp",
                                   AddressAt(0) + "-" + AddressAt(options.displays - 1),
                                   "--log",
                                   logPath,
                                   "--silent",
                                   AddressAt(fleet),
                                   "--udp=" + std::to_string(kSearchPort)};
  if (options.unreachable > 0) {
    args.push_back("--unreachable");
    args.push_back(AddressAt(fleet - options.unreachable) + "-" + AddressAt(fleet - 1));
  }
  return args;
}

enum class InFlight { kNothing, kSetter, kGroupSend };

const char* Describe(InFlight inFlight) {
  switch (inFlight) {
    case InFlight::kSetter:
      return "a setter";
    case InFlight::kGroupSend:
      return "a group send";
    case InFlight::kNothing:
      break;
  }
  return "nothing";
}

// Returns once the display has received `command` more than `before` times.
void WaitReceived(const std::string& logPath, const std::string& address, std::string_view command,
                  size_t before, const std::string& what) {
  const auto deadline = Clock::now() + kReceiveWait;
  while (CountReceived(logPath, address, command) <= before) {
    Check(Clock::now() < deadline, what + " never reached " + address);
    std::this_thread::sleep_for(2ms);
  }
}

// One switch from the silent display to the healthy one, with `inFlight` to the silent
// display: the time from the selection of the healthy display until its page read returned.
// Fails when the cancelled read of the silent display blamed it.
Clock::duration MeasureSwitch(CoreDriver& core, const std::string& logPath,
                              const std::string& silent, const std::string& healthy,
                              InFlight inFlight) {
  const size_t giveUpsBefore = core.GiveUps(silent);
  const size_t lostBefore = core.Messages(kLostMessage);
  CoreDriver::ReadId silentRead = ControlPageHost::kNoRead;
  if (inFlight == InFlight::kGroupSend) {
    const size_t before = CountReceived(logPath, silent, kCommand);
    core.SelectGroup(kSwitchGroup);
    Check(core.PostSetter(kCommand), "the group send was not posted");
    WaitReceived(logPath, silent, kCommand, before, "the group send");
    // Its read waits behind the group send, in the order asked.
    silentRead = core.SelectDisplay(silent);
  } else {
    const std::string_view query = CoreDriver::PageCheckQuery();
    const size_t before = CountReceived(logPath, silent, query);
    silentRead = core.SelectDisplay(silent);
    WaitReceived(logPath, silent, query, before, "the page read");
    if (inFlight == InFlight::kSetter) {
      Check(core.PostSetter(kCommand), "the setter was not posted");
    }
  }
  Check(silentRead != ControlPageHost::kNoRead, "selecting the silent display read nothing");

  const auto switched = Clock::now();
  const CoreDriver::ReadId healthyRead = core.SelectDisplay(healthy);
  Check(healthyRead != ControlPageHost::kNoRead, "selecting the healthy display read nothing");
  const auto read = core.WaitRead(healthyRead, kSettleWait);
  Check(read.has_value(), "the healthy display's page read did not end");
  const tarnex::ControlReadings& values = read->readings;
  Check(values.answered && !values.cancelled && values.input && values.monitorOut && values.mute,
        "the healthy display's page read came back without its values");

  // The cancelled read ends at once, or once the group send it waits behind is over.
  const auto cancelled = core.WaitRead(silentRead, kSettleWait);
  Check(cancelled.has_value() && cancelled->readings.cancelled,
        "the switch did not cancel the silent display's read");
  if (inFlight != InFlight::kGroupSend) {
    // Nothing else to the silent display has ended yet (a setter starts only once the read
    // ended, and its deadline is seconds away): a line or a lost link now came from the read.
    Check(core.GiveUps(silent) == giveUpsBefore,
          "the cancelled read wrote \"" + std::string(kGiveUp) + "\" for the silent display");
    Check(core.Up(silent), "the cancelled read marked the silent display disconnected");
  }
  Check(core.WaitIdle(kSettleWait), "the jobs to the silent display did not end");
  // The setter or the group send gives the silent display up once, at its own deadline.
  const size_t ownGiveUps = inFlight == InFlight::kNothing ? 0 : 1;
  Check(core.GiveUps(silent) == giveUpsBefore + ownGiveUps,
        std::string("the silent display was given up ") +
            std::to_string(core.GiveUps(silent) - giveUpsBefore) + " times with " +
            Describe(inFlight) + " in flight");
  Check(core.Messages(kLostMessage) == lostBefore,
        "the cancelled read told the operator \"" + std::string(kLostMessage) + "\"");
  if (!core.Up(silent)) core.Pass();
  Check(core.Up(silent), "the supervision pass did not reconnect the silent display");

  std::printf(
      "fleet-bench: switch with %s in flight: the healthy display's read began after %lld ms, "
      "returned after %lld ms\n",
      Describe(inFlight), Ms(read->began - switched), Ms(read->ended - switched));
  std::fflush(stdout);
  return read->ended - switched;
}

// The time from the operator's selection of `address` until its page read's first query
// reached the display.
Clock::duration MeasureReadStart(CoreDriver& core, const std::string& logPath,
                                 const std::string& address) {
  const std::string_view query = CoreDriver::PageCheckQuery();
  const size_t before = CountReceived(logPath, address, query);
  const auto selected = Clock::now();
  Check(core.SelectDisplay(address) != ControlPageHost::kNoRead,
        "selecting " + address + " read nothing");
  WaitReceived(logPath, address, query, before, "the page read");
  return Clock::now() - selected;
}

// A page read of an answering member of the silent group while a group send to that group
// waits for the silent member.
Clock::duration MeasureLease(CoreDriver& core, const std::string& logPath,
                             const std::string& silent, const std::string& member) {
  core.SelectGroup(kSwitchGroup);
  const size_t before = CountReceived(logPath, silent, kCommand);
  Check(core.PostSetter(kCommand), "the group send was not posted");
  WaitReceived(logPath, silent, kCommand, before, "the group send");
  const auto began = MeasureReadStart(core, logPath, member);
  Check(core.WaitIdle(kSettleWait), "the group send to the silent group did not end");
  std::printf(
      "fleet-bench: with a group send in flight, a member's page read began after %lld ms\n",
      Ms(began));
  return began;
}

// A page read of a stored display while a search the whole fleet answers listens.
Clock::duration MeasureSearch(CoreDriver& core, const std::string& logPath,
                              const std::string& healthy) {
  std::atomic<bool> completed{false};
  core.StartSearch(kSearchPort, [&completed] { completed = true; });
  std::this_thread::sleep_for(kSearchHeard);
  const auto began = MeasureReadStart(core, logPath, healthy);
  Check(!completed.load(), "the search was over before the page read began");
  Check(core.WaitIdle(kSettleWait) && completed.load(), "the search did not complete");
  std::printf("fleet-bench: during a search, a page read began after %lld ms\n", Ms(began));
  return began;
}

// The console and the displays are in this process: a socket per display on either side and
// one listener per display.
int RunPjlink(const Options& options) {
  const int displays = 2 * options.pjlink;
  const long limit = tarnex::RaiseOpenFileLimit();
  Check(limit < 0 || limit >= 3 * displays + kSpareDescriptors,
        "the open-file limit " + std::to_string(limit) + " is too low for " +
            std::to_string(displays) + " displays in one process; raise the hard limit");
  ConfigFolder folder;
  pid_t noSim = -1;
  Watchdog watchdog(std::chrono::seconds(options.timeoutSeconds), &noSim, folder.Path());
  watchdog.Phase("the mixed fleet");
  std::vector<std::string> natives;
  std::vector<std::string> pjlinks;
  for (int i = 0; i < options.pjlink; ++i) {
    natives.push_back(AddressAt(i));
    pjlinks.push_back(AddressAt(options.pjlink + i));
  }
  const MixedTimes times = MeasureMixedPowerOff(natives, pjlinks, kPjlinkRounds, Check);
  std::printf("mixed %lld ms, pair %lld ms\n", Ms(times.mixed), Ms(times.pair));
  std::fflush(stdout);
  return 0;
}

int Run(const Options& options) {
  const long limit = tarnex::RaiseOpenFileLimit();
  Check(limit < 0 || limit >= options.displays + kSpareDescriptors,
        "the open-file limit " + std::to_string(limit) + " is too low for " +
            std::to_string(options.displays) + " displays; raise the hard limit (ulimit -Hn)");
  ConfigFolder folder;
  const std::string logPath = folder.Path() + "/display-sim.log";
  std::vector<std::string> addresses;
  for (int i = 0; i < options.displays - kSwitchDisplays; ++i) addresses.push_back(AddressAt(i));
  const std::string silent = AddressAt(options.displays - kSwitchDisplays);
  const std::string healthy = AddressAt(options.displays - kSwitchDisplays + 1);
  // The silent display accepts connections: it is up until an exchange with it fails.
  const int answering = options.displays - options.unreachable;

  const auto simStart = Clock::now();
  SimProcess sim(SimProgramPath(), SimArguments(options, logPath));
  Watchdog watchdog(std::chrono::seconds(options.timeoutSeconds), sim.Pid(), folder.Path());
  Check(sim.WaitForLine("display-sim: ready", kSimStartTimeout).has_value(),
        "display-sim did not get ready (see its error above)");
  std::printf(
      "fleet-bench: display-sim serves %d displays (%d unreachable): ready in %lld ms, "
      "rss %.1f MB\n",
      options.displays, options.unreachable, Ms(Clock::now() - simStart), sim.PeakRssMb());
  std::fflush(stdout);

  watchdog.Phase("building the tree");
  CoreDriver core(addresses, {silent, healthy}, silent);
  auto t = Clock::now();
  core.Start();
  const auto start = Clock::now() - t;
  Check(core.Connected() == answering, "start-up connected " + std::to_string(core.Connected()) +
                                           " displays, not " + std::to_string(answering));

  watchdog.Phase("the supervision pass");
  t = Clock::now();
  core.Pass();
  const auto pass = Clock::now() - t;
  Check(core.Connected() == answering, "the pass connected an unreachable display");

  watchdog.Phase("the group status");
  core.SelectGroup(0);
  t = Clock::now();
  const std::vector<tarnex::GroupStatusRow> rows =
      core.GroupStatus(static_cast<int>(addresses.size()));
  const auto status = Clock::now() - t;
  const auto online = std::count_if(rows.begin(), rows.end(), [](const auto& row) {
    return row.online && row.power == "On" && row.lampTime2 == "800";
  });
  Check(rows.size() == addresses.size() &&
            online == static_cast<long>(addresses.size()) - options.unreachable,
        "the group status has " + std::to_string(rows.size()) + " rows, " + std::to_string(online) +
            " of them read");
  std::printf("fleet-bench: the group status of %zu members (%d down) took %lld ms\n", rows.size(),
              options.unreachable, Ms(status));

  watchdog.Phase("a member's read beside a group send");
  const auto lease = MeasureLease(core, logPath, silent, addresses.front());

  watchdog.Phase("switching the unreachable displays on");
  sim.Signal(SIGUSR1);
  Check(sim.WaitForLine("display-sim: reachable", kSimStartTimeout).has_value(),
        "display-sim did not switch its unreachable displays on");
  t = Clock::now();
  core.Pass();
  std::printf("fleet-bench: a pass reconnecting %d displays took %lld ms\n", options.unreachable,
              Ms(Clock::now() - t));
  Check(core.Connected() == options.displays, "not every display answers after the pass");

  watchdog.Phase("the group send");
  core.SelectGroup(0);
  const size_t before = CountInLog(logPath, "\tkd 01 01\\n");
  t = Clock::now();
  const auto groupReply = core.Send(kCommand);
  const auto group = Clock::now() - t;
  Check(groupReply.has_value(), "the group send got no reply");
  Check(CountInLog(logPath, "\tkd 01 01\\n") == before + addresses.size(),
        "not every member of the group received the command once");

  watchdog.Phase("the send to a group of one");
  core.SelectGroup(1);
  t = Clock::now();
  const auto oneReply = core.Send(kCommand);
  const auto one = Clock::now() - t;
  Check(oneReply.has_value(), "the send to a group of one got no reply");

  watchdog.Phase("the message to the group");
  core.SelectGroup(0);
  const std::string longest(tarnex::kMessageMaxLength, 'M');
  t = Clock::now();
  const tarnex::MessageResult shown = core.Message(longest);
  const auto message = Clock::now() - t;
  Check(shown.shown == addresses.size(), "the message reached " + std::to_string(shown.shown) +
                                             " of " + std::to_string(addresses.size()) +
                                             " members");

  // A backup of the first display restored to every display at once, and to a group of one.
  watchdog.Phase("the restore to the group");
  const std::string backup = folder.Path() + "/first.log";
  Check(core.SaveSettings(addresses.front(), backup), "the backup of the first display failed");
  t = Clock::now();
  const std::string restored = core.RestoreSettings(0, backup);
  const auto restore = Clock::now() - t;
  Check(restored == "Finish Configuration Setting", "the restore to the group: " + restored);
  t = Clock::now();
  const std::string restoredOne = core.RestoreSettings(1, backup);
  const auto restore1 = Clock::now() - t;
  Check(restoredOne == "Finish Configuration Setting", "the restore to one: " + restoredOne);
  std::printf("fleet-bench: restore %lld ms, restore1 %lld ms (%zu displays)\n", Ms(restore),
              Ms(restore1), addresses.size());
  std::fflush(stdout);

  watchdog.Phase("a read beside a search");
  const auto search = MeasureSearch(core, logPath, healthy);

  std::vector<Clock::duration> switches;
  for (const InFlight inFlight : {InFlight::kNothing, InFlight::kSetter, InFlight::kGroupSend}) {
    watchdog.Phase("the switch from the silent display");
    switches.push_back(MeasureSwitch(core, logPath, silent, healthy, inFlight));
  }

  watchdog.Phase("the scripts");
  const ScriptTimes owned =
      MeasureOwnerScripts(core.Core(), folder.Path(), addresses.size(), Check);
  const ScriptTimes direct = MeasureDirectScripts(folder.Path(), addresses, Check);
  std::printf(
      "fleet-bench: tarnexctl power off through the console: group:All %lld ms, group:One %lld "
      "ms; direct runs (connects included): group:All %lld ms, group:One %lld ms\n",
      Ms(owned.all), Ms(owned.one), Ms(direct.all), Ms(direct.one));
  std::fflush(stdout);

  watchdog.Phase("the schedules");
  const std::vector<std::string> fives = FiveDisplayTargets(addresses, 200);
  const auto many = TimeDueRuns(core.Core(), folder.Path(), fives, Check);
  const auto single = TimeDueRuns(core.Core(), folder.Path(), {fives.front()}, Check);
  std::printf(
      "fleet-bench: %zu schedule entries due in one minute over %zu displays ran in %lld "
      "ms; one entry of 5 displays in %lld ms\n",
      fives.size(), fives.size() * 5, Ms(many), Ms(single));
  std::fflush(stdout);

  const double rss = OwnPeakRssMb();

  // A configuration at capacity: 300 groups of 1000 members. Measured is what one send to a
  // group of 1000 listings adds to the resident memory at its peak.
  watchdog.Phase("the group send at capacity");
  double added = 0.0;
  {
    CoreDriver full(addresses, {silent, healthy}, silent, /*capacity=*/true);
    full.Start();
    full.SelectGroup(tarnex::kMaxGroups - 1);
    ResetPeakRss();
    const double resident = StatusMb("VmRSS:");
    const size_t sent = CountInLog(logPath, "\tkd 01 01\\n");
    Check(full.Send(kCommand).has_value(), "the group send at capacity got no reply");
    added = StatusMb("VmHWM:") - resident;
    const size_t received = CountInLog(logPath, "\tkd 01 01\\n") - sent;
    Check(received == tarnex::kMaxNetworkMembers,
          "the group at capacity was sent " + std::to_string(received) + " commands for " +
              std::to_string(tarnex::kMaxNetworkMembers) + " listings, " +
              std::to_string(full.Connected()) + " displays up");
    std::printf("fleet-bench: %d groups of %d members: rss %.1f MB before the send, +%.1f MB\n",
                tarnex::kMaxGroups, tarnex::kMaxNetworkMembers, resident, added);
  }

  watchdog.Phase("stopping");
  std::printf("fleet-bench: lease %lld ms, search %lld ms\n", Ms(lease), Ms(search));
  std::printf("fleet-bench: display-sim peak rss %.1f MB\n", sim.PeakRssMb());
  std::printf(
      "fleet-bench: start %lld ms, pass %lld ms, group %lld ms, one %lld ms, message %lld ms, "
      "switch %lld/%lld/%lld ms, status %lld ms, rss %.1f MB, capacity send +%.1f MB\n",
      Ms(start), Ms(pass), Ms(group), Ms(one), Ms(message), Ms(switches[0]), Ms(switches[1]),
      Ms(switches[2]), Ms(status), rss, added);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A display-sim that dies under us must not end the bench with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  Options options;
  try {
    options = ParseOptions(argc, argv);
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr,
                 "fleet-bench: %s\nUsage: fleet-bench [--displays N (1000)] [--unreachable N "
                 "(500)] [--timeout SECONDS (7200)]\n"
                 "       fleet-bench --pjlink N [--timeout SECONDS (7200)]\n",
                 error.what());
    return 2;
  }
  try {
    return options.pjlink > 0 ? RunPjlink(options) : Run(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
