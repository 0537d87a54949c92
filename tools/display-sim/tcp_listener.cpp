#include "display-sim/tcp_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "display-sim/loopback_address.h"
#include "platform/socket_api.h"

namespace tarnex::sim {
namespace {

bool BindAndListen(int fd, const std::string& address, uint16_t port, int backlog) {
  const int on = 1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  ParseIpv4(address, &local.sin_addr.s_addr);
  return ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
         ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
         ::listen(fd, backlog) == 0;
}

}  // namespace

int OpenListener(const std::string& address, uint16_t port, int backlog) {
  if (!IsLoopbackAddress(address)) {
    errno = EADDRNOTAVAIL;
    return -1;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return -1;
  if (!BindAndListen(fd, address, port, backlog)) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

uint16_t BoundPort(int fd) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

}  // namespace tarnex::sim
