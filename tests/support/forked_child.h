#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

namespace tarnex::testing {

// A copy of the test process that runs `body` and exits with what it returns, for what only
// another process can show: a lock held elsewhere, the kernel dropping it when its holder
// ends, another user's view. The two sides take turns through Tell and Heard. The child never
// returns into the test runner; a child still running when the object goes is killed.
class ForkedChild {
 public:
  explicit ForkedChild(const std::function<int(ForkedChild&)>& body) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_ends) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      ::close(m_ends[0]);
      m_own = m_ends[1];
      ::_exit(body(*this));
    }
    ::close(m_ends[1]);
    m_own = m_ends[0];
  }
  ~ForkedChild() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_own >= 0) ::close(m_own);
  }
  ForkedChild(const ForkedChild&) = delete;
  ForkedChild& operator=(const ForkedChild&) = delete;

  // One byte to the other side.
  void Tell() { (void)!::send(m_own, "!", 1, MSG_NOSIGNAL); }
  // True when the other side told within the time.
  bool Heard(std::chrono::milliseconds timeout) {
    pollfd entry{m_own, POLLIN, 0};
    char byte = 0;
    return ::poll(&entry, 1, static_cast<int>(timeout.count())) == 1 &&
           ::recv(m_own, &byte, 1, 0) == 1;
  }

  // The child's exit status (128 + signal when a signal ended it), or -1 when it still runs
  // after the time.
  int Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < deadline);
    return -1;
  }

 private:
  int m_ends[2] = {-1, -1};
  int m_own = -1;
  pid_t m_pid = -1;
};

}  // namespace tarnex::testing
