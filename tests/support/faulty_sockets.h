#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/socket_api.h"

namespace tarnex::testing {

// The real POSIX sockets with faults injected on demand: refused connects, failing options,
// and a record of every descriptor closed.
class FaultySockets : public SocketApi {
 public:
  std::atomic<int> refuseConnects{0};  // the next N connects report "not writable"
  std::atomic<bool> failReceiveTimeout{false};
  std::atomic<bool> failNonBlocking{false};
  std::atomic<bool> failWait{false};
  // When positive, replaces every receive time-out, so silent displays cost little time.
  std::atomic<int> receiveTimeoutMs{0};

  int CreateTcp() override { return real_.CreateTcp(); }
  bool SetReceiveTimeout(int fd, int ms) override {
    if (failReceiveTimeout) return false;
    return real_.SetReceiveTimeout(fd, receiveTimeoutMs > 0 ? receiveTimeoutMs.load() : ms);
  }
  bool SetNonBlocking(int fd, bool on) override {
    return failNonBlocking ? false : real_.SetNonBlocking(fd, on);
  }
  ConnectOutcome Connect(int fd, const std::string& ip, uint16_t port, int timeoutMs) override {
    {
      std::lock_guard lock(mutex_);
      connects_.push_back(ip);
    }
    if (failWait) return ConnectOutcome::kWaitFailed;
    if (refuseConnects > 0) {
      --refuseConnects;
      return ConnectOutcome::kNotWritable;
    }
    return real_.Connect(fd, ip, port, timeoutMs);
  }
  ConnectStart StartConnect(int fd, const std::string& ip, uint16_t port) override {
    {
      std::lock_guard lock(mutex_);
      connects_.push_back(ip);
    }
    if (refuseConnects > 0) {
      --refuseConnects;
      return ConnectStart::kFailed;
    }
    return real_.StartConnect(fd, ip, port);
  }
  ssize_t Send(int fd, const void* data, size_t size) override {
    return real_.Send(fd, data, size);
  }
  ssize_t Recv(int fd, void* data, size_t size) override { return real_.Recv(fd, data, size); }
  void Close(int fd) override {
    {
      std::lock_guard lock(mutex_);
      closed_.push_back(fd);
    }
    real_.Close(fd);
  }
  int LastError() override { return real_.LastError(); }

  std::vector<int> Closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
  }
  std::vector<std::string> Connects() const {
    std::lock_guard lock(mutex_);
    return connects_;
  }

 private:
  SocketApi& real_ = PosixSockets();
  mutable std::mutex mutex_;
  std::vector<int> closed_;
  std::vector<std::string> connects_;
};

}  // namespace tarnex::testing
