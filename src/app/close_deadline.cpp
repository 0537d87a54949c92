#include "app/close_deadline.h"

#include <unistd.h>

namespace tarnex {

CloseDeadline::~CloseDeadline() {
  {
    std::lock_guard lock(m_mutex);
    m_over = true;
  }
  m_changed.notify_all();
  if (m_watch.joinable()) m_watch.join();
}

void CloseDeadline::Start() {
  {
    std::lock_guard lock(m_mutex);
    if (m_counting) return;
    m_counting = true;
    m_since = Clock::now();
    if (!m_watch.joinable()) m_watch = std::thread([this] { Watch(); });
  }
  m_changed.notify_all();
}

void CloseDeadline::Pause() {
  {
    std::lock_guard lock(m_mutex);
    if (!m_counting) return;
    m_counting = false;
    m_left -= Clock::now() - m_since;
  }
  m_changed.notify_all();
}

// The watch's own thread.
void CloseDeadline::Watch() {
  std::unique_lock lock(m_mutex);
  while (!m_over) {
    if (!m_counting) {
      m_changed.wait(lock);
    } else if (Clock::now() - m_since >= m_left) {
      EndNow();
    } else {
      m_changed.wait_until(lock, m_since + m_left);
    }
  }
}

// Nothing that could wait: no lock, no buffered stream, no handler of the process's end.
void CloseDeadline::EndNow() {
  static constexpr char kText[] =
      "tarnex-manager: the close did not end in time; the process ends without waiting for it\n";
  (void)!::write(STDERR_FILENO, kText, sizeof kText - 1);
  ::_exit(1);
}

}  // namespace tarnex
