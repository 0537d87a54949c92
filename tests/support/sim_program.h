#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarnex::sim::testing {

using namespace std::chrono_literals;

// The display-sim program, started with its stdout on a pipe. Given an open-file limit, it
// runs under that hard limit and its stderr goes to the pipe as well. Its runtime and
// configuration folders are a scratch folder of its own, so that nothing it keeps there meets
// another run's.
class Program {
 public:
  explicit Program(const std::vector<std::string>& args, long maxOpenFiles = -1) {
    char scratch[] = "/tmp/tarnex-sim-XXXXXX";
    if (::mkdtemp(scratch) == nullptr) return;
    scratch_ = scratch;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<char*> argv;
    std::string program = DISPLAY_SIM_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (auto& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = {"XDG_RUNTIME_DIR=" + scratch_,
                                          "TARNEX_CONFIG_DIR=" + scratch_ + "/"};
    for (char** variable = environ; *variable != nullptr; ++variable) {
      const std::string_view entry = *variable;
      if (!entry.starts_with("XDG_RUNTIME_DIR=") && !entry.starts_with("TARNEX_CONFIG_DIR=")) {
        variables.emplace_back(entry);
      }
    }
    std::vector<char*> envp;
    for (auto& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      if (maxOpenFiles >= 0) {
        const rlimit limit{static_cast<rlim_t>(maxOpenFiles), static_cast<rlim_t>(maxOpenFiles)};
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::dup2(out[1], STDERR_FILENO);
      }
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(out[1]);
    stdout_ = out[0];
  }

  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
    if (!scratch_.empty()) std::filesystem::remove_all(scratch_);
  }

  // What the program printed within the time, up to its first line feed.
  std::string FirstLine(std::chrono::milliseconds timeout) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd entry{stdout_, POLLIN, 0};
      if (::poll(&entry, 1, 100) <= 0) continue;
      char buffer[256];
      const ssize_t got = ::read(stdout_, buffer, sizeof buffer);
      if (got <= 0) break;
      text.append(buffer, static_cast<size_t>(got));
    }
    return text;
  }

  // The exit status once the program ended (128 + signal when a signal ended it), or -1 when
  // it still runs after the time.
  int Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

  void Signal(int signal) { ::kill(pid_, signal); }

  // SIGTERM, then the exit status as Wait gives it.
  int Terminate() {
    Signal(SIGTERM);
    return Wait(3s);
  }

 private:
  std::string scratch_;
  pid_t pid_ = -1;
  int stdout_ = -1;
};

}  // namespace tarnex::sim::testing
