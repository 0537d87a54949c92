#include "platform/datagram_api.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace tarnex {
namespace {

// A thousand displays answer within about a tenth of a second; at a few hundred bytes of
// kernel bookkeeping each, the default buffer would drop most of them.
constexpr int kReceiveBuffer = 4 * 1024 * 1024;
// The console's close and the operator's cancel.
constexpr size_t kMaxCancelFds = 2;

class PosixDatagramApi final : public DatagramApi {
 public:
  Opened OpenBroadcast() override {
    Opened opened;
    opened.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (opened.fd < 0) {
      opened.fd = kNoSocket;
      return opened;
    }
    const int on = 1;
    opened.broadcastRefused =
        ::setsockopt(opened.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0;
    // Asked for, not required: an unprivileged process gets what rmem_max allows.
    const int size = kReceiveBuffer;
    ::setsockopt(opened.fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    return opened;
  }

  bool SendTo(int fd, const std::string& ipv4, uint16_t port, std::string_view bytes) override {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (!ParseIpv4(ipv4, &to.sin_addr.s_addr)) return false;
    ssize_t sent;
    do {
      sent = ::sendto(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                      reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(bytes.size());
  }

  Wait Receive(int fd, std::span<const int> cancelFds, int timeoutMs, size_t capacity,
               std::string* datagram) override {
    std::array<pollfd, 1 + kMaxCancelFds> entries{};
    entries[0] = {fd, POLLIN, 0};
    nfds_t count = 1;
    for (const int cancelFd : cancelFds) {
      if (cancelFd != kNoSocket && count < entries.size()) entries[count++] = {cancelFd, POLLIN, 0};
    }
    int ready;
    do {
      ready = ::poll(entries.data(), count, timeoutMs < 0 ? 0 : timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return Wait::kFailed;
    for (nfds_t i = 1; i < count; ++i) {
      if (entries[i].revents != 0) return Wait::kCancelled;
    }
    if (ready == 0) return Wait::kTimedOut;
    datagram->resize(capacity);
    ssize_t got;
    do {
      got = ::recv(fd, datagram->data(), capacity, MSG_DONTWAIT | MSG_TRUNC);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      datagram->clear();
      // A stray ICMP error or a datagram taken by nobody else: nothing to read after all.
      return errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNREFUSED ? Wait::kTimedOut
                                                                              : Wait::kFailed;
    }
    // MSG_TRUNC gives the datagram's real length, which may be more than was copied.
    datagram->resize(std::min(static_cast<size_t>(got), capacity));
    return Wait::kDatagram;
  }

  void Close(int fd) override {
    if (fd != kNoSocket) ::close(fd);
  }
};

}  // namespace

DatagramApi& PosixDatagrams() {
  static PosixDatagramApi api;
  return api;
}

}  // namespace tarnex
