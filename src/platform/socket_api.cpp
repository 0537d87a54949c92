#include "platform/socket_api.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

  ConnectOutcome Connect(int fd, const std::string& ipv4, uint16_t port,
                         int timeoutMs) override {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (!ParseIpv4(ipv4, &address.sin_addr.s_addr)) {
      errno = EINVAL;
      return ConnectOutcome::kBadAddress;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return ConnectOutcome::kConnected;
    }
    if (errno != EINPROGRESS && errno != EINTR) return ConnectOutcome::kNotWritable;

    pollfd entry{fd, POLLOUT, 0};
    int ready;
    do {
      ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return ConnectOutcome::kWaitFailed;
    if (ready == 0) return ConnectOutcome::kNotWritable;
    // Linux reports a refused connect as writable; the pending error tells them apart.
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
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
