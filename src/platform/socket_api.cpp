#include "platform/socket_api.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tarnex {
namespace {

class PosixSocketApi final : public SocketApi {
 public:
  int CreateTcp() override {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd < 0 ? kNoSocket : fd;
  }

  bool SetReceiveTimeout(int fd, int milliseconds) override {
    timeval tv{};
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = (milliseconds % 1000) * 1000;
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
  }

  bool SetNonBlocking(int fd, bool nonBlocking) override {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    const int wanted = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, wanted) == 0;
  }

  ConnectOutcome Connect(int fd, const std::string& ipv4, uint16_t port, int timeoutMs) override {
    switch (StartConnect(fd, ipv4, port)) {
      case ConnectStart::kConnected:
        return ConnectOutcome::kConnected;
      case ConnectStart::kBadAddress:
        return ConnectOutcome::kBadAddress;
      case ConnectStart::kFailed:
        return ConnectOutcome::kNotWritable;
      case ConnectStart::kInProgress:
        break;
    }
    pollfd entry{fd, POLLOUT, 0};
    int ready;
    do {
      ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return ConnectOutcome::kWaitFailed;
    if (ready == 0) return ConnectOutcome::kNotWritable;
    // Linux reports a refused connect as writable; the pending error tells them apart.
    const int error = ConnectError(fd);
    if (error != 0) {
      errno = error;
      return ConnectOutcome::kNotWritable;
    }
    return ConnectOutcome::kConnected;
  }

  ssize_t Send(int fd, const void* data, size_t size) override {
    const auto* bytes = static_cast<const char*>(data);
    size_t sent = 0;
    while (sent < size) {
      const ssize_t n = ::send(fd, bytes + sent, size - sent, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      sent += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(sent);
  }

  ssize_t Recv(int fd, void* data, size_t size) override {
    ssize_t n;
    do {
      n = ::recv(fd, data, size, 0);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  void Close(int fd) override {
    if (fd >= 0) ::close(fd);
  }

  int LastError() override { return errno; }
};

}  // namespace

ConnectStart SocketApi::StartConnect(int fd, const std::string& ipv4, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (!ParseIpv4(ipv4, &address.sin_addr.s_addr)) {
    errno = EINVAL;
    return ConnectStart::kBadAddress;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return ConnectStart::kConnected;
  }
  return errno == EINPROGRESS || errno == EINTR ? ConnectStart::kInProgress : ConnectStart::kFailed;
}

int SocketApi::ConnectError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

WaitOutcome SocketApi::WaitReadable(int fd, int cancelFd, int timeoutMs) {
  pollfd entries[2] = {{fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
  const nfds_t count = cancelFd == kNoSocket ? 1 : 2;
  int ready;
  do {
    ready = ::poll(entries, count, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return WaitOutcome::kFailed;
  if (count == 2 && entries[1].revents != 0) return WaitOutcome::kCancelled;
  if (ready == 0) return WaitOutcome::kTimedOut;
  return WaitOutcome::kReadable;
}

int SocketApi::ReceiveTimeoutMs(int fd) {
  timeval tv{};
  socklen_t length = sizeof tv;
  if (::getsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, &length) != 0) {
    return kDefaultReceiveTimeoutMs;
  }
  const long ms = tv.tv_sec * 1000L + tv.tv_usec / 1000L;
  return ms > 0 ? static_cast<int>(ms) : kDefaultReceiveTimeoutMs;
}

size_t SocketApi::Discard(int fd, size_t limit) {
  char chunk[512];
  size_t dropped = 0;
  while (dropped < limit) {
    const ssize_t n = ::recv(fd, chunk, std::min(sizeof chunk, limit - dropped), MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    dropped += static_cast<size_t>(n);
  }
  return dropped;
}

SocketApi& PosixSockets() {
  static PosixSocketApi api;
  return api;
}

bool ParseIpv4(const std::string& text, uint32_t* networkOrder) {
  if (text.find('\0') != std::string::npos) return false;
  in_addr parsed{};
  // inet_pton accepts only the four-part decimal form, no shorthand, no trailing text.
  if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  *networkOrder = parsed.s_addr;
  return true;
}

}  // namespace tarnex
