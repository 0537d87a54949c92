#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/socket_api.h"
#include "protocol/command_frame.h"

namespace tarnex::sim::testing {

using namespace std::chrono_literals;

// A plain loopback TCP client with time-outs on every wait, as the console would talk.
class TestClient {
 public:
  // nullptr when the connect is refused or does not finish within a second.
  static std::unique_ptr<TestClient> Connect(const std::string& address, uint16_t port = 9761) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    auto client = std::unique_ptr<TestClient>(new TestClient(fd));
    if (!PosixSockets().SetNonBlocking(fd, true)) return nullptr;
    const ConnectOutcome outcome = PosixSockets().Connect(fd, address, port, 1000);
    if (outcome != ConnectOutcome::kConnected) return nullptr;
    return client;
  }

  ~TestClient() { ::close(fd_); }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  // Sends everything within the time; false when the peer is gone or stops reading.
  bool Send(std::string_view bytes, std::chrono::milliseconds timeout = 2000ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!bytes.empty()) {
      const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent > 0) {
        bytes.remove_prefix(static_cast<size_t>(sent));
      } else if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
        if (!Wait(deadline, POLLOUT)) return false;
      } else {
        return false;
      }
    }
    return true;
  }

  // The chunks received until the bytes form a complete reply, the peer closes or the time
  // runs out.
  std::vector<std::string> ReadPieces(std::chrono::milliseconds timeout = 2000ms) {
    std::vector<std::string> pieces;
    std::string all;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!protocol::IsReplyComplete(all)) {
      const std::string chunk = ReadChunk(deadline);
      if (chunk.empty()) break;
      pieces.push_back(chunk);
      all += chunk;
    }
    return pieces;
  }

  std::string ReadReply(std::chrono::milliseconds timeout = 2000ms) {
    std::string all;
    for (const std::string& piece : ReadPieces(timeout)) all += piece;
    return all;
  }

  // The bytes up to and including the first `end`, or what arrived before the peer closed or
  // the time ran out. For protocols whose replies end in one byte; one reply at a time.
  std::string ReadUntil(char end, std::chrono::milliseconds timeout = 2000ms) {
    std::string all;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (all.find(end) == std::string::npos) {
      const std::string chunk = ReadChunk(deadline);
      if (chunk.empty()) break;
      all += chunk;
    }
    return all;
  }

  std::string Exchange(std::string_view command) {
    return Send(command) ? ReadReply() : std::string("<send failed>");
  }

  // True when the peer closed the connection (end of stream or reset) within the time.
  bool WaitClosed(std::chrono::milliseconds timeout = 2000ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (!Wait(deadline)) return false;
      char buffer[4096];
      const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return true;
    }
    return false;
  }

 private:
  explicit TestClient(int fd) : fd_(fd) {}

  bool Wait(std::chrono::steady_clock::time_point deadline, short events = POLLIN) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd_, events, 0};
    return ::poll(&entry, 1, static_cast<int>(left.count())) > 0;
  }

  std::string ReadChunk(std::chrono::steady_clock::time_point deadline) {
    if (!Wait(deadline)) return {};
    char buffer[512];
    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
  }

  int fd_;
};

}  // namespace tarnex::sim::testing
