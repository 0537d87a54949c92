#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "console/console_core.h"

namespace tarnex::testing {

// A thread that holds the console lock the way a record loop over a whole fleet does: one hold
// for `length` (or until the hold goes), letting others in between two displays. Whoever takes
// the lock meanwhile must be counted as a waiter, or the hold never lets it in and it waits for
// the whole loop. Made once the hold has begun (or a deadline passed).
class LongHold {
 public:
  LongHold(CConsoleCore& core, std::chrono::milliseconds length)
      : thread_([this, &core, length] {
          auto state = core.Lock();
          const auto end = std::chrono::steady_clock::now() + length;
          holding_ = true;
          while (!stop_ && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));  // one display's record
            state->LetOthersIn();
          }
          holding_ = false;
        }) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!holding_ && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  }
  ~LongHold() {
    stop_ = true;
    thread_.join();
  }
  LongHold(const LongHold&) = delete;
  LongHold& operator=(const LongHold&) = delete;

  bool Holding() const { return holding_; }

 private:
  std::atomic<bool> holding_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tarnex::testing
