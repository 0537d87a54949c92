#include "platform/cancel_token.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace tarnex {

CancelToken::CancelToken() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelToken::~CancelToken() {
  if (m_fd >= 0) ::close(m_fd);
}

void CancelToken::Cancel() {
  if (m_cancelled.exchange(true, std::memory_order_acq_rel)) return;
  if (m_fd < 0) return;
  const uint64_t one = 1;
  // The counter only ever goes from 0 to 1, so the write cannot block or overflow.
  [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

}  // namespace tarnex
