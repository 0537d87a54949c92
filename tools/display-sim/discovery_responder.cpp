#include "display-sim/discovery_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <vector>

#include "display-sim/loopback_address.h"
#include "platform/socket_api.h"

namespace tarnex::sim {
namespace {

std::string Hex8(uint32_t hostOrder) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", hostOrder);
  return text;
}

uint32_t HostOrder(const std::string& address) {
  uint32_t networkOrder = 0;
  ParseIpv4(address, &networkOrder);
  return ntohl(networkOrder);
}

std::string Dotted(uint32_t hostOrder) {
  return std::to_string(hostOrder >> 24) + "." + std::to_string((hostOrder >> 16) & 0xff) + "." +
         std::to_string((hostOrder >> 8) & 0xff) + "." + std::to_string(hostOrder & 0xff);
}

// One datagram from `from` to the searcher; the socket lives for that datagram only, so a
// thousand displays cost no descriptors while they wait.
bool SendFrom(const std::string& from, uint32_t to, uint16_t toPort, const std::string& bytes) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return false;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ParseIpv4(from, &local.sin_addr.s_addr);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(to);
  peer.sin_port = htons(toPort);
  const bool sent =
      ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
      ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&peer),
               sizeof peer) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  return sent;
}

}  // namespace

std::string DerivedMac(const std::string& address) {
  return "0254" + Hex8(HostOrder(address));
}

std::string DiscoveryResponder::Reply(const std::string& address, const std::string& mac) {
  const uint32_t ip = HostOrder(address);
  return "QXMNT REPLY 01 00 " + mac + " TarnexSim " + Hex8(ip) + " FF000000 " + Hex8(0x7F000001) +
         " 00000000 00000000";
}

DiscoveryResponder::DiscoveryResponder(uint16_t port, CommandLog& log,
                                       std::chrono::milliseconds spread)
    : log_(log), spread_(spread) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "udp socket");
  const int on = 1;
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(port);
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    const int error = errno;
    ::close(fd_);
    throw std::system_error(error, std::generic_category(),
                            "udp port " + std::to_string(port) + " cannot be bound");
  }
  thread_ = std::thread([this] { Run(); });
}

DiscoveryResponder::~DiscoveryResponder() {
  stop_.Signal();
  thread_.join();
  ::close(fd_);
}

void DiscoveryResponder::Add(const std::string& address, const std::string& mac) {
  std::lock_guard lock(mutex_);
  displays_[address] = {address, mac};
}

void DiscoveryResponder::Move(const std::string& address, const std::string& newAddress) {
  std::lock_guard lock(mutex_);
  const auto found = displays_.find(address);
  if (found != displays_.end()) found->second.first = newAddress;
}

void DiscoveryResponder::Run() {
  pollfd watched[2] = {{fd_, POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
  char datagram[1024];
  for (;;) {
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    sockaddr_in sender{};
    socklen_t size = sizeof sender;
    const ssize_t got = ::recvfrom(fd_, datagram, sizeof datagram, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&sender), &size);
    if (got < 0) continue;
    const std::string bytes(datagram, static_cast<size_t>(got));
    const uint32_t from = ntohl(sender.sin_addr.s_addr);
    log_.Record("udp from " + Dotted(from), bytes);
    if (bytes == "SEARCHQXMNT" && IsLoopbackAddress(Dotted(from))) {
      Answer(from, ntohs(sender.sin_port));
    }
  }
}

// Spread over the period, as displays that heard the broadcast at once answer one after
// another; a stop ends the answers early.
void DiscoveryResponder::Answer(uint32_t sender, uint16_t senderPort) {
  std::vector<std::pair<std::string, std::string>> answers;  // from, reply
  {
    std::lock_guard lock(mutex_);
    for (const auto& [address, display] : displays_) {
      answers.emplace_back(display.first, Reply(display.first, display.second));
    }
  }
  const auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < answers.size(); ++i) {
    const auto due = start + spread_ * static_cast<long>(i) / static_cast<long>(answers.size());
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
    if (wait.count() > 0) {
      pollfd stop{stop_.Fd(), POLLIN, 0};
      if (::poll(&stop, 1, static_cast<int>(wait.count())) > 0) return;
    }
    if (SendFrom(answers[i].first, sender, senderPort, answers[i].second)) {
      log_.Record("udp to " + Dotted(sender) + " from " + answers[i].first, answers[i].second);
    }
  }
}

}  // namespace tarnex::sim
