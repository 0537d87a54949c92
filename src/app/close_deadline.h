#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarnex {

// Once the console starts to close, the process ends within a deadline, whatever still holds
// it: a worker that does not see the stop, a disk that does not answer. When the time is up,
// the process says so on standard error and ends at once with a failure status; the files it
// writes are replaced whole, so one it was writing stays as it was. The time a box waits for
// the operator does not count.
class CloseDeadline {
 public:
  explicit CloseDeadline(std::chrono::milliseconds budget) : m_left(budget) {}
  // The process ends in order: the watch ends with it.
  ~CloseDeadline();
  CloseDeadline(const CloseDeadline&) = delete;
  CloseDeadline& operator=(const CloseDeadline&) = delete;

  // The close begins, or goes on after Pause: the time counts from now. Any thread.
  void Start();
  // The close waits for the operator: the time stops. Any thread.
  void Pause();

 private:
  void Watch();
  [[noreturn]] static void EndNow();

  using Clock = std::chrono::steady_clock;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  Clock::duration m_left;
  Clock::time_point m_since;
  bool m_counting = false;
  bool m_over = false;
  std::thread m_watch;  // from the first Start
};

}  // namespace tarnex
