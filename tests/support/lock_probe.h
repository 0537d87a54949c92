#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "console/console_core.h"

namespace tarnex::testing {

// Tells whether another thread can take the console lock while the caller does something that
// lasts (shows a box, writes a file): were the lock held then, every worker would stop with it.
// The probe's thread is joined when the probe goes, so a probe made where the lock may be held
// must outlive the guard.
class LockProbe {
 public:
  explicit LockProbe(CConsoleCore& core)
      : thread_([this, &core] {
          core.Lock();
          taken_ = true;
        }) {}
  ~LockProbe() { thread_.join(); }
  LockProbe(const LockProbe&) = delete;
  LockProbe& operator=(const LockProbe&) = delete;

  bool TakenWithin(std::chrono::milliseconds time) const {
    const auto deadline = std::chrono::steady_clock::now() + time;
    while (!taken_ && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return taken_;
  }

 private:
  std::atomic<bool> taken_{false};
  std::thread thread_;
};

}  // namespace tarnex::testing
