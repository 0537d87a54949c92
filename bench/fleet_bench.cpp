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
// Last, a second console on the same fleet with a configuration at capacity (300 groups of
// 1000 members): what one send to a group of 1000 listings adds to the peak resident memory.
//
// The last line is the summary (switch: nothing / setter / group send in flight):
//   fleet-bench: start <ms> ms, pass <ms> ms, group <ms> ms, one <ms> ms, message <ms> ms,
//                switch <ms>/<ms>/<ms> ms, status <ms> ms, rss <MB> MB,
//                capacity send +<MB> MB   (one line)

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

#include "config/history_report.h"
#include "config/network_manager_doc.h"
#include "console/command_transaction.h"
#include "console/console_core.h"
#include "console/link_supervisor.h"
#include "console/page_host.h"
#include "console/selection_handler.h"
#include "monitor/control_readers.h"
#include "monitor/group_status.h"
#include "monitor/message_frames.h"
#include "monitor/message_sender.h"
#include "monitor/page_setter.h"
#include "monitor/read_context.h"
#include "monitor/settings_backup.h"
#include "platform/open_file_limit.h"
#include "platform/ui_host.h"
#include "protocol/command_catalogue.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t kFirstAddress = (127U << 24) | (1U << 8) | 1U;  // 127.0.1.1
constexpr auto kSimStartTimeout = 120s;
constexpr int kSpareDescriptors = 64;
constexpr std::string_view kCommand = "kd 01 01\n";
// The silent and the healthy display of the switch, after the fleet.
constexpr int kSwitchDisplays = 2;
// Group 2 holds the fleet and the silent display.
constexpr int kSwitchGroup = 2;
// Far more than a loopback exchange takes; a read or a send that is not seen by then is lost.
constexpr auto kReceiveWait = 5s;
// More than a send to the silent display takes to give it up (three receives of 3 s).
constexpr auto kSettleWait = 30s;
constexpr std::string_view kGiveUp = "Monitor is not communicated with PC";
constexpr std::string_view kLostMessage = "Projector is Disconnected";

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
      options.displays = ParseCount(flag, value, kSwitchDisplays + 1, tarnex::kMaxDisplays);
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

// A command as the display-sim log writes it: the line feed as "\n".
std::string LogForm(std::string_view command) {
  std::string logged;
  for (const char c : command) logged += c == '\n' ? std::string("\\n") : std::string(1, c);
  return logged;
}

// How often the display at `address` has received `command` so far.
size_t CountReceived(const std::string& path, const std::string& address,
                     std::string_view command) {
  const std::string wanted = address + "\t" + LogForm(command);
  std::ifstream log(path);
  std::string line;
  size_t count = 0;
  while (std::getline(log, line)) count += line == wanted ? 1 : 0;
  return count;
}

double OwnPeakRssMb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A "VmRSS:" or "VmHWM:" line of this process's status, in MB.
double StatusMb(std::string_view key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::strtod(line.c_str() + key.size(), nullptr) / 1024.0;
  }
  return 0.0;
}

// The peak resident memory counts from now on (Linux: "5" to clear_refs resets VmHWM).
void ResetPeakRss() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

// ==== Driving the console core ====
// Everything the bench asks of the console core is in this section; an engine with another
// API changes this section only.

// Records the messages the operator would see; nothing else is shown. Workers call in.
class BenchUi : public tarnex::UiHost {
 public:
  void ShowMessage(std::string_view text) override {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(text);
  }
  bool AskYesNo(std::string_view, std::string_view) override { return true; }
  void ProgressCreate() override {}
  void ProgressSetPos(int) override {}
  void ProgressDestroy() override {}
  void TreeChanged() override {}
  void PageMustRefresh() override {}

  size_t Messages(std::string_view text) const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count(messages_.begin(), messages_.end(), text));
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
};

// What one page read came to, and when its job began and ended.
struct PageRead {
  tarnex::ControlReadings readings;
  Clock::time_point began{};
  Clock::time_point ended{};
};

// The Control page on top: a selection's refresh is posted as the window posts it
// (CControl::RefreshControlPage), captured here on the selecting thread and read on a console
// worker. What each read came to is kept for the bench instead of being shown.
class ControlPageHost : public tarnex::PageHost {
 public:
  using ReadId = size_t;
  static constexpr ReadId kNoRead = 0;

  void Attach(tarnex::CConsoleCore& core) { core_ = &core; }

  void RefreshActivePage() override {
    tarnex::ReadContext context = tarnex::ReadContext::ForSelection(*core_);
    ReadId id = kNoRead;
    {
      std::lock_guard lock(mutex_);
      id = ++lastId_;
    }
    tarnex::JobKeys keys = context.Keys();
    core_->Jobs().Post(std::move(keys), [this, id, context = std::move(context)] {
      PageRead read;
      read.began = Clock::now();
      // As on the page: a read whose selection went while it waited reads nothing.
      if (context.Cancelled()) {
        read.readings.cancelled = true;
      } else {
        read.readings = tarnex::ReadControlPage(context, /*onTop=*/true);
      }
      read.ended = Clock::now();
      {
        std::lock_guard lock(mutex_);
        done_.emplace(id, read);
      }
      wake_.notify_all();
    });
  }

  // The read posted last, kNoRead before the first.
  ReadId LastId() const {
    std::lock_guard lock(mutex_);
    return lastId_;
  }
  // The read once its job has ended; nothing when it has not within the time-out.
  std::optional<PageRead> Wait(ReadId id, Clock::duration timeout) {
    std::unique_lock lock(mutex_);
    if (!wake_.wait_for(lock, timeout, [&] { return done_.contains(id); })) return std::nullopt;
    return done_.at(id);
  }

 private:
  tarnex::CConsoleCore* core_ = nullptr;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  ReadId lastId_ = kNoRead;
  std::map<ReadId, PageRead> done_;
};

class CoreDriver {
 public:
  using ReadId = ControlPageHost::ReadId;

  // Stored displays: the fleet, then `extra`. Group 0 "All" of every fleet display, group 1
  // "One" of the first, group 2 "Silent" of the fleet and `silentMember`. At `capacity` every
  // further group up to the limit lists 1000 members, the fleet's displays over and over.
  CoreDriver(const std::vector<std::string>& fleet, const std::vector<std::string>& extra,
             const std::string& silentMember, bool capacity = false) {
    std::vector<std::string> table = fleet;
    table.insert(table.end(), extra.begin(), extra.end());
    doc_.m_docSocketNumber = static_cast<int>(table.size());
    for (size_t i = 0; i < table.size(); ++i) doc_.m_docDisplays[i].m_address = table[i];
    doc_.m_docGroupNumCount = 3;
    doc_.m_docGroupName[0] = "All";
    doc_.m_docGroupName[1] = "One";
    doc_.m_docGroupName[kSwitchGroup] = "Silent";
    std::vector<std::string> silentGroup = fleet;
    silentGroup.push_back(silentMember);
    SetMembers(0, fleet);
    SetMembers(1, {fleet.front()});
    SetMembers(kSwitchGroup, silentGroup);
    if (capacity) {
      doc_.m_docGroupNumCount = tarnex::kMaxGroups;
      for (int g = kSwitchGroup + 1; g < tarnex::kMaxGroups; ++g) {
        doc_.m_docGroupName[static_cast<size_t>(g)] = "Wall " + std::to_string(g);
        std::vector<std::string> members;
        for (int m = 0; m < tarnex::kMaxNetworkMembers; ++m) {
          members.push_back(fleet[static_cast<size_t>(g + m) % fleet.size()]);
        }
        SetMembers(g, members);
      }
    }
    core_ = std::make_unique<tarnex::CConsoleCore>(doc_, ui_);
    // The history is written as always; the lines that give a display up are kept as well.
    core_->SetHistoryWriter([this](const std::vector<tarnex::HistoryLine>& lines) {
      {
        std::lock_guard lock(historyMutex_);
        for (const tarnex::HistoryLine& line : lines) {
          if (line.text.find(kGiveUp) != std::string::npos) giveUps_.push_back(line.text);
        }
      }
      tarnex::CHistoryReport::Write(lines);
    });
    pages_.Attach(*core_);
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
  bool Up(const std::string& address) {
    auto state = core_->Lock();
    for (int i = 0; i < doc_.m_docSocketNumber; ++i) {
      if (doc_.m_docDisplays[static_cast<size_t>(i)].m_address == address) {
        return doc_.m_docConnectState[static_cast<size_t>(i)] == 1;
      }
    }
    return false;
  }
  // The selected group's list, rebuilt as the operator's refresh rebuilds it; its rows.
  std::vector<tarnex::GroupStatusRow> GroupStatus(int members) {
    const tarnex::CommandTarget target = core_->Transaction().CaptureTarget();
    return tarnex::ReadGroupStatus(*core_, target, members, tarnex::GroupReadMode::kRebuild).rows;
  }
  void SelectGroup(int group) {
    tarnex::TreeItem item = tarnex::kNoItem;
    {
      auto state = core_->Lock();
      item = state->Tree().GroupItem(group);
    }
    selection_->OnSelectionChanged(item);
  }
  // The operator selects the display's "Single" item; returns the page read that the
  // selection started, kNoRead when it started none.
  ReadId SelectDisplay(const std::string& address) {
    tarnex::TreeItem item = tarnex::kNoItem;
    {
      auto state = core_->Lock();
      item = state->Tree().FindSingleByKey(address);
    }
    const ReadId before = pages_.LastId();
    selection_->OnSelectionChanged(item);
    const ReadId after = pages_.LastId();
    return after == before ? ControlPageHost::kNoRead : after;
  }
  std::optional<PageRead> WaitRead(ReadId id, Clock::duration timeout) {
    return pages_.Wait(id, timeout);
  }
  std::optional<std::string> Send(std::string_view command) {
    return core_->Transaction().SendCommand(command);
  }
  // A message to the selection, as the Message dialog's Send posts it, waited for here.
  tarnex::MessageResult Message(std::string_view text) {
    return tarnex::SendMessage(*core_, core_->Transaction().CaptureTarget(), text, 7, 6);
  }
  // A setter of the page: the command to the selection, on a worker. False when not posted.
  bool PostSetter(std::string_view command) { return tarnex::PostToTarget(*core_, command); }
  bool WaitIdle(Clock::duration timeout) {
    return core_->Jobs().WaitIdle(std::chrono::duration_cast<std::chrono::milliseconds>(timeout));
  }
  // The page read's first query, its link check.
  static std::string_view PageCheckQuery() { return tarnex::protocol::query::kInputSelect; }
  // History lines so far that give the display up.
  size_t GiveUps(const std::string& address) {
    core_->FlushHistory();
    const std::string subject = "IP Address : " + address + "    Operation : ";
    std::lock_guard lock(historyMutex_);
    return static_cast<size_t>(std::count_if(giveUps_.begin(), giveUps_.end(), [&](auto& line) {
      return line.find(subject) != std::string::npos;
    }));
  }
  size_t Messages(std::string_view text) const { return ui_.Messages(text); }
  // The settings of the display saved into `path`.
  bool SaveSettings(const std::string& address, const std::string& path) {
    int row = -1;
    {
      auto state = core_->Lock();
      for (int i = 0; i < doc_.m_docSocketNumber && row < 0; ++i) {
        if (doc_.m_docDisplays[static_cast<size_t>(i)].m_address == address) row = i;
      }
    }
    tarnex::BackupProgress progress;
    const tarnex::CommandTarget target = core_->Transaction().DisplayTarget(row);
    return tarnex::SaveSettings(*core_, target, path, progress).result ==
           tarnex::SaveResult::kSaved;
  }
  // The backup restored to the group, as "Load Configuration" does; its closing message.
  std::string RestoreSettings(int group, const std::string& path) {
    SelectGroup(group);
    tarnex::BackupProgress progress;
    const tarnex::RestoreReport report =
        tarnex::RestoreSettings(*core_, core_->Transaction().CaptureTarget(),
                                tarnex::ReadBackupFile(path).values, progress);
    return tarnex::RestoreMessage(report);
  }

 private:
  void SetMembers(int group, const std::vector<std::string>& members) {
    doc_.SetGroupMemberCount(group, static_cast<int>(members.size()));
    auto& record = doc_.m_docGroups[static_cast<size_t>(group)];
    for (size_t m = 0; m < members.size(); ++m) {
      record.m_labels[m] = "[" + std::to_string(m + 1) + "]" + members[m];
      record.m_addresses[m] = members[m];
    }
  }

  tarnex::COsprelNetworkManagerDoc doc_;
  BenchUi ui_;
  // Reads posted by the core's workers refer to the page host: it goes after the core.
  ControlPageHost pages_;
  std::mutex historyMutex_;
  std::vector<std::string> giveUps_;
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

// The fleet's unreachable displays are its last ones; the silent display follows the fleet.
std::vector<std::string> SimArguments(const Options& options, const std::string& logPath) {
  const int fleet = options.displays - kSwitchDisplays;
  std::vector<std::string> args = {"--tcp",    AddressAt(0) + "-" + AddressAt(options.displays - 1),
                                   "--log",    logPath,
                                   "--silent", AddressAt(fleet)};
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

  std::vector<Clock::duration> switches;
  for (const InFlight inFlight : {InFlight::kNothing, InFlight::kSetter, InFlight::kGroupSend}) {
    watchdog.Phase("the switch from the silent display");
    switches.push_back(MeasureSwitch(core, logPath, silent, healthy, inFlight));
  }

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
