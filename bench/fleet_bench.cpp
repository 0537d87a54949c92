// fleet-bench: the console core against a whole fleet of simulated displays on loopback.
//
// One display-sim process serves the fleet (127.0.1.1 upwards), so that this process holds
// only the console's side. Measured: start-up with the stored displays of which some are
// unreachable (until every display has its state), one supervision pass over the
// unreachable ones, "kd 01 01\n" to a group of every display once all answer, the same to a
// group of one, and the peak resident memory of this process. The last line is the summary:
//   fleet-bench: start <ms> ms, pass <ms> ms, group <ms> ms, one <ms> ms, rss <MB> MB

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
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "config/network_manager_doc.h"
#include "console/command_transaction.h"
#include "console/console_core.h"
#include "console/link_supervisor.h"
#include "console/page_host.h"
#include "console/selection_handler.h"
#include "platform/open_file_limit.h"
#include "platform/ui_host.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t kFirstAddress = (127U << 24) | (1U << 8) | 1U;  // 127.0.1.1
constexpr auto kSimStartTimeout = 120s;
constexpr int kSpareDescriptors = 64;
constexpr std::string_view kCommand = "kd 01 01\n";

struct Options {
  int displays = 1000;
  int unreachable = 500;
  int timeoutSeconds = 7200;
};

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
      options.displays = ParseCount(flag, value, 1, tarnex::kMaxDisplays);
    } else if (flag == "--unreachable") {
      options.unreachable = ParseCount(flag, value, 0, tarnex::kMaxDisplays);
      unreachableGiven = true;
    } else if (flag == "--timeout") {
      options.timeoutSeconds = ParseCount(flag, value, 1, 86400);
    } else {
      throw std::invalid_argument("unknown flag " + std::string(flag));
    }
  }
  if (!unreachableGiven) options.unreachable = std::min(options.unreachable, options.displays / 2);
  if (options.unreachable > options.displays) {
    throw std::invalid_argument("--unreachable cannot exceed --displays");
  }
  return options;
}

std::string AddressAt(int index) {
  in_addr address{htonl(kFirstAddress + static_cast<uint32_t>(index))};
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

long long Ms(Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

// Ends the run when a phase takes longer than the whole run may: with a slow engine and a
// large fleet a run takes long, but never forever.
class Watchdog {
 public:
  Watchdog(std::chrono::seconds limit, pid_t* sim, std::string folder)
      : limit_(limit), sim_(sim), folder_(std::move(folder)) {
    thread_ = std::thread([this] { Watch(); });
  }
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Phase(const char* phase) { phase_ = phase; }

 private:
  void Watch() {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, limit_, [this] { return done_; })) return;
    std::fprintf(stderr, "fleet-bench: gave up after %lld s while %s\n",
                 static_cast<long long>(limit_.count()), phase_.load());
    if (*sim_ > 0) ::kill(*sim_, SIGKILL);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    std::_Exit(1);
  }

  std::chrono::seconds limit_;
  pid_t* sim_;
  std::string folder_;
  std::atomic<const char*> phase_{"starting"};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

// The display-sim program, its stdout on a pipe; stopped with the bench.
class SimProcess {
 public:
  SimProcess(const std::string& program, const std::vector<std::string>& args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("fleet-bench: no pipe");
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    std::string path = program;
    argv.push_back(path.data());
    for (auto& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a bench that was killed
      ::dup2(out[1], STDOUT_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
    if (pid_ < 0) throw std::runtime_error("fleet-bench: cannot start " + program);
  }
  ~SimProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      for (int i = 0; i < 300 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(10ms);
      }
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  pid_t* Pid() { return &pid_; }
  void Signal(int signal) { ::kill(pid_, signal); }

  // The next line it prints that starts with `prefix`, or nullopt when it ends or the time
  // runs out first.
  std::optional<std::string> WaitForLine(std::string_view prefix, std::chrono::seconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
      for (size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (line.starts_with(prefix)) return line;
      }
      const long long left = Ms(deadline - Clock::now());
      if (left <= 0) return std::nullopt;
      pollfd entry{out_, POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(std::min(left, 1000LL))) <= 0) continue;
      char buffer[65536];
      const ssize_t got = ::read(out_, buffer, sizeof buffer);
      if (got <= 0) return std::nullopt;
      pending_.append(buffer, static_cast<size_t>(got));
    }
  }

  // Its peak resident memory in MB, or -1.
  double PeakRssMb() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with("VmHWM:")) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
};

std::string SimProgramPath() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const auto beside = self.parent_path() / "display-sim";
    if (std::filesystem::exists(beside)) return beside.string();
  }
  return DISPLAY_SIM_PROGRAM;
}

size_t CountInLog(const std::string& path, std::string_view needle) {
  std::ifstream log(path);
  std::string line;
  size_t count = 0;
  while (std::getline(log, line)) count += line.find(needle) != std::string::npos ? 1 : 0;
  return count;
}

double OwnPeakRssMb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// ==== Driving the console core ====
// Everything the bench asks of the console core is in this section; an engine with another
// API changes this section only.

class QuietUi : public tarnex::UiHost {
 public:
  void ShowMessage(std::string_view) override {}
  bool AskYesNo(std::string_view, std::string_view) override { return true; }
  void ProgressCreate() override {}
  void ProgressSetPos(int) override {}
  void ProgressDestroy() override {}
  void TreeChanged() override {}
  void PageMustRefresh() override {}
};

class CoreDriver {
 public:
  // Stored displays in this order, group 0 "All" of every display, group 1 "One" of the
  // first.
  explicit CoreDriver(const std::vector<std::string>& addresses) {
    doc_.m_docSocketNumber = static_cast<int>(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i) doc_.m_docDisplays[i].m_address = addresses[i];
    doc_.m_docGroupNumCount = 2;
    doc_.m_docGroupName[0] = "All";
    doc_.m_docGroupName[1] = "One";
    doc_.SetGroupMemberCount(0, static_cast<int>(addresses.size()));
    for (size_t m = 0; m < addresses.size(); ++m) {
      doc_.m_docGroups[0].m_labels[m] = "[" + std::to_string(m + 1) + "]" + addresses[m];
      doc_.m_docGroups[0].m_addresses[m] = addresses[m];
    }
    doc_.SetGroupMemberCount(1, 1);
    doc_.m_docGroups[1].m_labels[0] = "[1]" + addresses[0];
    doc_.m_docGroups[1].m_addresses[0] = addresses[0];
    core_ = std::make_unique<tarnex::CConsoleCore>(doc_, ui_);
    supervisor_ = std::make_unique<tarnex::CLinkSupervisor>(*core_, pages_);
    selection_ = std::make_unique<tarnex::CSelectionHandler>(*core_, pages_);
  }

  // Returns once every stored display has its state, connected or not.
  void Start() { core_->BuildTree(); }
  void Pass() { supervisor_->RunPass(); }
  int Connected() {
    auto state = core_->Lock();
    int connected = 0;
    for (int i = 0; i < doc_.m_docSocketNumber; ++i) {
      connected += doc_.m_docConnectState[static_cast<size_t>(i)] == 1 ? 1 : 0;
    }
    return connected;
  }
  void SelectGroup(int group) {
    tarnex::TreeItem item = tarnex::kNoItem;
    {
      auto state = core_->Lock();
      item = state->Tree().GroupItem(group);
    }
    selection_->OnSelectionChanged(item);
  }
  std::optional<std::string> Send(std::string_view command) {
    return core_->Transaction().SendCommand(command);
  }

 private:
  tarnex::COsprelNetworkManagerDoc doc_;
  QuietUi ui_;
  tarnex::PageHost pages_;
  std::unique_ptr<tarnex::CConsoleCore> core_;
  std::unique_ptr<tarnex::CLinkSupervisor> supervisor_;
  std::unique_ptr<tarnex::CSelectionHandler> selection_;
};

// ==== End of the console core section ====

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

std::vector<std::string> SimArguments(const Options& options, const std::string& logPath) {
  const int answering = options.displays - options.unreachable;
  std::vector<std::string> args = {"--tcp", AddressAt(0) + "-" + AddressAt(options.displays - 1),
                                   "--log", logPath};
  if (options.unreachable > 0) {
    args.push_back("--unreachable");
    args.push_back(AddressAt(answering) + "-" + AddressAt(options.displays - 1));
  }
  return args;
}

int Run(const Options& options) {
  const long limit = tarnex::RaiseOpenFileLimit();
  Check(limit < 0 || limit >= options.displays + kSpareDescriptors,
        "the open-file limit " + std::to_string(limit) + " is too low for " +
            std::to_string(options.displays) + " displays; raise the hard limit (ulimit -Hn)");
  ConfigFolder folder;
  const std::string logPath = folder.Path() + "/display-sim.log";
  std::vector<std::string> addresses;
  for (int i = 0; i < options.displays; ++i) addresses.push_back(AddressAt(i));
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
  CoreDriver core(addresses);
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

  watchdog.Phase("stopping");
  std::printf("fleet-bench: display-sim peak rss %.1f MB\n", sim.PeakRssMb());
  std::printf("fleet-bench: start %lld ms, pass %lld ms, group %lld ms, one %lld ms, rss %.1f MB\n",
              Ms(start), Ms(pass), Ms(group), Ms(one), OwnPeakRssMb());
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
                 "(500)] [--timeout SECONDS (7200)]\n",
                 error.what());
    return 2;
  }
  try {
    return Run(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
