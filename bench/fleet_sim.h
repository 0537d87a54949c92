#pragma once
// fleet-bench's side of the display-sim process: the watchdog of a run, the process itself and
// what its command log says.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fleet_bench {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

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

}  // namespace fleet_bench
