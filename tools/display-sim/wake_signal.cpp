#include "display-sim/wake_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace tarnex::sim {

WakeSignal::WakeSignal() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WakeSignal::~WakeSignal() {
  ::close(fd_);
}

void WakeSignal::Signal() {
  const uint64_t one = 1;
  // The counter only saturates after 2^64 - 2 signals; a failed write still leaves it readable.
  [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
}

void WakeSignal::Drain() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(fd_, &count, sizeof count);
}

}  // namespace tarnex::sim
