#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarnex::testing {

using namespace std::chrono_literals;

// A program of ours started as a child, with its standard input and output on pipes. Its
// runtime and configuration folders are a scratch folder of its own (XDG_RUNTIME_DIR and
// TARNEX_CONFIG_DIR), so that nothing it keeps there meets another run's; the scratch folder
// goes with this object, and a child still running is killed.
class ChildProcess {
 public:
  struct Options {
    // Given, the child runs under that hard open-file limit and its stderr goes to the
    // stdout pipe as well.
    long maxOpenFiles = -1;
    // The child's stderr on a pipe of its own, read by StandardError.
    bool captureStderr = false;
    // Called with the scratch folder (ending in '/') before the child starts.
    std::function<void(const std::string& folder)> prepare{};
    // Given (ending in '/'), the runtime and configuration folder of another child, which
    // this one shares and leaves in place, instead of a scratch folder of its own.
    std::string sharedFolder{};
  };

  ChildProcess(std::string program, const std::vector<std::string>& args, Options options) {
    if (!options.sharedFolder.empty()) {
      m_folder = options.sharedFolder;
      m_shared = true;
    } else {
      char scratch[] = "/tmp/tarnex-child-XXXXXX";
      if (::mkdtemp(scratch) == nullptr) return;
      m_folder = std::string(scratch) + "/";
    }
    if (options.prepare) options.prepare(m_folder);
    // Standard input is a socket, so that a write to a child that ended raises no SIGPIPE.
    int in[2], out[2], err[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    if (options.captureStderr && ::pipe2(err, O_CLOEXEC) != 0) return;
    std::vector<std::string> copies = args;
    std::vector<char*> argv{program.data()};
    for (auto& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = Environment();
    std::vector<char*> envp;
    for (auto& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      if (err[1] >= 0) ::dup2(err[1], STDERR_FILENO);
      if (options.maxOpenFiles >= 0) {
        const auto limit = static_cast<rlim_t>(options.maxOpenFiles);
        const rlimit limits{limit, limit};
        ::setrlimit(RLIMIT_NOFILE, &limits);
        ::dup2(out[1], STDERR_FILENO);
      }
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (err[1] >= 0) ::close(err[1]);
    m_stdin = in[1];
    m_stdout = out[0];
    m_stderr = err[0];
  }

  ~ChildProcess() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    for (const int fd : {m_stdin, m_stdout, m_stderr}) {
      if (fd >= 0) ::close(fd);
    }
    // Without its '/': a test may have put a file in the folder's place.
    std::error_code ignored;
    if (!m_folder.empty() && !m_shared)
      std::filesystem::remove_all(m_folder.substr(0, m_folder.size() - 1), ignored);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The scratch folder, ending in '/'.
  const std::string& Folder() const { return m_folder; }

  // What the program printed within the time, up to its first line feed.
  std::string FirstLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_output.find('\n') == std::string::npos && ReadSome(m_stdout, m_output, deadline)) {
    }
    return m_output;
  }

  // Reads the output until a whole line equal to `line` came, or the time is up; true when
  // it came. The lines before it are passed over.
  bool WaitForLine(std::string_view line, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      for (size_t end; (end = m_output.find('\n')) != std::string::npos;) {
        const bool found = std::string_view(m_output).substr(0, end) == line;
        m_lines.push_back(m_output.substr(0, end));
        m_output.erase(0, end + 1);
        if (found) return true;
      }
      if (!ReadSome(m_stdout, m_output, deadline)) return false;
    }
  }

  // Every whole line printed so far, the ones WaitForLine passed over included.
  std::vector<std::string> Lines() {
    WaitForLine("\n", 0ms);  // no line equals a line feed: this only collects
    return m_lines;
  }

  // What the program wrote to its stderr, once it ended (Options::captureStderr).
  std::string StandardError() {
    std::string text;
    while (m_stderr >= 0 && ReadSome(m_stderr, text, std::chrono::steady_clock::now() + 1s)) {
    }
    return text;
  }

  void Write(std::string_view text) {
    (void)!::send(m_stdin, text.data(), text.size(), MSG_NOSIGNAL);
  }

  // The exit status once the program ended (128 + signal when a signal ended it), or -1 when
  // it still runs after the time.
  int Wait(std::chrono::milliseconds timeout) {
    // Without a child of its own, waitpid(-1) would reap whichever child of the test ended.
    if (m_pid <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(5ms);
    }
    return -1;
  }

  // Never with a pid of -1 (a child that did not start, or was reaped): that would signal
  // every process this user may signal.
  void Signal(int signal) {
    if (m_pid > 0) ::kill(m_pid, signal);
  }

  // SIGTERM, then the exit status as Wait gives it.
  int Terminate() {
    Signal(SIGTERM);
    return Wait(3s);
  }

 private:
  std::vector<std::string> Environment() const {
    std::vector<std::string> variables = {"XDG_RUNTIME_DIR=" + m_folder,
                                          "TARNEX_CONFIG_DIR=" + m_folder};
    for (char** variable = environ; *variable != nullptr; ++variable) {
      const std::string_view entry = *variable;
      if (!entry.starts_with("XDG_RUNTIME_DIR=") && !entry.starts_with("TARNEX_CONFIG_DIR=")) {
        variables.emplace_back(entry);
      }
    }
    return variables;
  }

  // Appends what `fd` has before the deadline; false at its end or when the time is up.
  static bool ReadSome(int fd, std::string& text, std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(std::max<long>(0, left.count()))) <= 0) return false;
    char buffer[512];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) return false;
    text.append(buffer, static_cast<size_t>(got));
    return true;
  }

  std::string m_folder;
  bool m_shared = false;
  pid_t m_pid = -1;
  int m_stdin = -1;
  int m_stdout = -1;
  int m_stderr = -1;
  std::string m_output;  // read, not yet split into lines
  std::vector<std::string> m_lines;
};

}  // namespace tarnex::testing
