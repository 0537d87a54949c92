#include "display-sim/unreachable_listener.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

#include "display-sim/tcp_listener.h"
#include "platform/socket_api.h"

namespace tarnex::sim {
namespace {

// Backlog 1 rather than 0: with 0 the kernel treats even the first SYN as a flood and answers
// it with a SYN cookie (and a kernel log line per listener), or drops it when cookies are off.
constexpr int kBacklog = 1;
// The kernel queues one connection more than the backlog; a few spare for other kernels.
constexpr int kMaxFillers = 4;
constexpr int kConnectTimeoutMs = 1000;
constexpr auto kQueueWait = std::chrono::milliseconds(500);

std::system_error Error(int error, const std::string& address, uint16_t port) {
  return std::system_error(
      error, std::generic_category(),
      "display-sim: cannot play unreachable on " + address + ":" + std::to_string(port));
}

}  // namespace

UnreachableListener::UnreachableListener(const std::string& address, uint16_t port)
    : listener_(OpenListener(address, port, kBacklog)) {
  if (listener_ < 0) throw Error(errno, address, port);
  port_ = BoundPort(listener_);
  try {
    Fill(address);
  } catch (...) {
    CloseAll();
    throw;
  }
}

UnreachableListener::~UnreachableListener() {
  CloseAll();
}

// Fills until the kernel reports the queue over its backlog; should that report be missing,
// a filler whose connect does not finish shows the queue full just as well.
void UnreachableListener::Fill(const std::string& address) {
  while (!QueueFull()) {
    if (static_cast<int>(fillers_.size()) >= kMaxFillers) throw Error(EAGAIN, address, port_);
    if (!ConnectFiller(address)) return;
    // The server side joins the queue once the last ACK is through; on loopback that is at
    // once, but give it a moment.
    const auto deadline = std::chrono::steady_clock::now() + kQueueWait;
    while (!QueueFull() && QueueLength() < static_cast<int>(fillers_.size()) &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

// False when the connect did not finish in time: the queue is full already.
bool UnreachableListener::ConnectFiller(const std::string& address) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) throw Error(errno, address, port_);
  switch (PosixSockets().Connect(fd, address, port_, kConnectTimeoutMs)) {
    case ConnectOutcome::kConnected:
      fillers_.push_back(fd);
      return true;
    case ConnectOutcome::kNotWritable:
      ::close(fd);
      if (fillers_.empty()) throw Error(ECONNREFUSED, address, port_);
      return false;
    default: {
      const int error = errno;
      ::close(fd);
      throw Error(error, address, port_);
    }
  }
}

int UnreachableListener::QueueLength() const {
  tcp_info info{};
  socklen_t size = sizeof info;
  if (::getsockopt(listener_, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return -1;
  return static_cast<int>(info.tcpi_unacked);  // a listener reports its accept queue here
}

bool UnreachableListener::QueueFull() const {
  tcp_info info{};
  socklen_t size = sizeof info;
  if (::getsockopt(listener_, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return false;
  // For a listener: connections waiting to be accepted, and the backlog.
  return info.tcpi_unacked > info.tcpi_sacked;
}

int UnreachableListener::Release() {
  for (const int fd : fillers_) ::close(fd);
  // Every queued connection is a filler: SYNs from others were dropped while it was full.
  for (size_t i = 0; i < fillers_.size(); ++i) {
    const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (accepted >= 0) ::close(accepted);
  }
  fillers_.clear();
  ::listen(listener_, kListenBacklog);  // the backlog of every other display
  const int fd = listener_;
  listener_ = -1;
  return fd;
}

void UnreachableListener::CloseAll() {
  for (const int fd : fillers_) ::close(fd);
  fillers_.clear();
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
}

}  // namespace tarnex::sim
