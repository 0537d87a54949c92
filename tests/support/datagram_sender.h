#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "support/loopback_block.h"

namespace tarnex::testing {

// Answers the first search datagram it hears with `count` datagrams of its own making, `gap`
// apart, from loopback, until it has sent them all or is destroyed.
class DatagramSender {
 public:
  DatagramSender(std::function<std::string(int)> make, int count, std::chrono::milliseconds gap)
      : make_(std::move(make)), count_(count), gap_(gap) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(DiscoveryTestPort());
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~DatagramSender() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  int Sent() const { return sent_; }

 private:
  void Run() {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    char search[256];
    pollfd entry{fd_, POLLIN, 0};
    for (int waited = 0; !stop_ && waited < 100; ++waited) {
      if (::poll(&entry, 1, 100) <= 0) continue;
      if (::recvfrom(fd_, search, sizeof search, 0, reinterpret_cast<sockaddr*>(&peer), &size) > 0)
        break;
    }
    for (int i = 0; i < count_ && !stop_ && peer.sin_port != 0; ++i) {
      const std::string bytes = make_(i);
      if (::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&peer),
                   sizeof peer) > 0) {
        ++sent_;
      }
      if (gap_.count() > 0) std::this_thread::sleep_for(gap_);
    }
  }

  std::function<std::string(int)> make_;
  int count_;
  std::chrono::milliseconds gap_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

}  // namespace tarnex::testing
