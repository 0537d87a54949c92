#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace tarnex::testing {

// Test processes run side by side (ctest -j, or two checkouts tested on one machine), and two
// simulated displays cannot listen on one address. So each process takes a block of loopback
// addresses of its own: four /24s, 127.B.C.0 to 127.B.C+3.255, with B from 1 to 254, away from
// 127.0.x.x, which the system and other programs use, and from the test broadcast address
// 127.255.255.255. The search starts at the block the process id points to; a block is held
// by an abstract socket named after it, which the kernel lets go when the process ends, so a
// block still held by a live process is passed over. Children that exec do not inherit it.
inline constexpr int kLoopbackBlocks = 254 * 64;
inline constexpr int kLoopbackBlockSize = 4 * 254;  // host parts 0 and 255 are never given

// The first block from `start` on that no live process holds, held from now on by this one.
inline int ClaimLoopbackBlock(int start) {
  for (int i = 0; i < kLoopbackBlocks; ++i) {
    const int candidate = (start + i) % kLoopbackBlocks;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) break;
    sockaddr_un name{};
    name.sun_family = AF_UNIX;
    const int length = std::snprintf(name.sun_path + 1, sizeof name.sun_path - 1,
                                     "tarnex-test-loopback-block-%d", candidate);
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&name), size) == 0) return candidate;
    ::close(fd);
  }
  throw std::runtime_error("no loopback block is free");
}

inline int LoopbackBlockIndex() {
  static const int index = ClaimLoopbackBlock(static_cast<int>(::getpid() % kLoopbackBlocks));
  return index;
}

// The n-th address of this process's block, n from 1 to kLoopbackBlockSize. The first 254
// are 127.B.C.1 to 127.B.C.254; the count goes on in the next /24 from .1.
inline std::string Loopback(int n) {
  if (n < 1 || n > kLoopbackBlockSize) throw std::out_of_range("no such loopback address");
  const int block = LoopbackBlockIndex();
  return "127." + std::to_string(1 + block / 64) + "." +
         std::to_string(block % 64 * 4 + (n - 1) / 254) + "." + std::to_string((n - 1) % 254 + 1);
}

// The discovery port of this process: every socket bound to the wildcard address hears every
// datagram broadcast to 127.255.255.255 on its port, so processes that search side by side
// each need a port of their own. The block is held by this process alone, and 20000 up to
// 36255 lies below the ephemeral ports that the system hands out.
inline unsigned short DiscoveryTestPort() {
  return static_cast<unsigned short>(20000 + LoopbackBlockIndex());
}

// "FIRST-LAST" as display-sim reads a range: every address from Loopback(first) to
// Loopback(last), which includes the .255 and .0 between two /24s.
inline std::string LoopbackRange(int first, int last) {
  return Loopback(first) + "-" + Loopback(last);
}

}  // namespace tarnex::testing
