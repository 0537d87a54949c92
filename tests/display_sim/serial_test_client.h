#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace tarnex::sim::testing {

// The console's end of a simulated serial line, opened raw, with a time-out on every wait.
class SerialTestClient {
 public:
  explicit SerialTestClient(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    termios mode{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &mode) == 0) {
      ::cfmakeraw(&mode);
      ::tcsetattr(fd_, TCSANOW, &mode);
    }
  }
  ~SerialTestClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  SerialTestClient(const SerialTestClient&) = delete;
  SerialTestClient& operator=(const SerialTestClient&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  // Writes the command and gathers what comes back until `quiet` passes without a byte (at
  // most `limit` in all).
  std::string Exchange(std::string_view command,
                       std::chrono::milliseconds quiet = std::chrono::milliseconds(150),
                       std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
    if (::write(fd_, command.data(), command.size()) != static_cast<ssize_t>(command.size())) {
      return "<write failed>";
    }
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd entry{fd_, POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(quiet.count())) <= 0) break;
      char buffer[256];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      reply.append(buffer, static_cast<size_t>(n));
    }
    return reply;
  }

 private:
  int fd_;
};

}  // namespace tarnex::sim::testing
