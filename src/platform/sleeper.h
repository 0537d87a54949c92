#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace tarnex {

// A pause, injected so that tests of paced protocols run without real waits.
using Sleeper = std::function<void(std::chrono::milliseconds)>;

inline Sleeper RealSleeper() {
  return [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); };
}

}  // namespace tarnex
