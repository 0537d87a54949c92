#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace tarnex::testing {

// A bare pseudo-terminal whose master side the test drives as the display would, to feed the
// port exactly the bytes a case needs.
class SerialTestPeer {
 public:
  SerialTestPeer() {
    termios raw{};
    ::cfmakeraw(&raw);
    char name[256] = {};
    if (::openpty(&master_, &device_, name, &raw, nullptr) == 0) path_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~SerialTestPeer() {
    ::close(master_);
    ::close(device_);
  }
  SerialTestPeer(const SerialTestPeer&) = delete;
  SerialTestPeer& operator=(const SerialTestPeer&) = delete;

  const std::string& Path() const { return path_; }
  void Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::write(master_, bytes.data(), bytes.size());
      if (n > 0) bytes.remove_prefix(static_cast<size_t>(n));
      if (n <= 0) WaitFor(POLLOUT, std::chrono::milliseconds(500));
      if (n <= 0 && !WaitFor(POLLOUT, std::chrono::milliseconds(0))) return;
    }
  }
  // What the port wrote, gathered for the given time.
  std::string Received(std::chrono::milliseconds within) {
    std::string text;
    char buffer[512];
    while (WaitFor(POLLIN, within)) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
      within = std::chrono::milliseconds(50);
    }
    return text;
  }

 private:
  bool WaitFor(short event, std::chrono::milliseconds timeout) {
    pollfd entry{master_, event, 0};
    return ::poll(&entry, 1, static_cast<int>(timeout.count())) > 0 && (entry.revents & event);
  }

  int master_ = -1;
  int device_ = -1;
  std::string path_;
};

}  // namespace tarnex::testing
