#pragma once

#include <atomic>

namespace tarnex {

// A one-way switch that ends waits early: once cancelled, its descriptor stays readable, so a
// poll on any thread that includes it returns at once. The console cancels its token when it
// closes, so that no exchange or connect holds the close for its full time-out.
class CancelToken {
 public:
  CancelToken();
  ~CancelToken();
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void Cancel();
  bool Cancelled() const { return m_cancelled.load(std::memory_order_acquire); }
  // The descriptor to poll for reading; kNoSocket (-1) if none could be made, in which case
  // waits end only by their time-outs.
  int Fd() const { return m_fd; }

 private:
  int m_fd;
  std::atomic<bool> m_cancelled{false};
};

}  // namespace tarnex
