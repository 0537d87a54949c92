#pragma once

namespace tarnex::sim {

// An eventfd that another thread signals to wake a poll() loop at once (to stop, or to apply
// a change) instead of waiting for its time-out.
class WakeSignal {
 public:
  WakeSignal();  // throws std::system_error when no eventfd can be created
  ~WakeSignal();
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  int Fd() const { return fd_; }
  void Signal();
  void Drain();

 private:
  int fd_;
};

}  // namespace tarnex::sim
