#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/sleeper.h"
#include "platform/ui_thread.h"

namespace tarnex {

// The serial line as the command transaction uses it. The serial port implements it; tests
// put a simulated line behind it.
class SerialChannel {
 public:
  virtual ~SerialChannel() = default;

  // Writes the whole command; false when the line is not open or the write failed.
  virtual bool Write(std::string_view command) = 0;
  // The reply of the display with this set ID, read within the time-out; empty when nothing
  // complete arrived.
  virtual std::string Read(std::string_view setId, int timeoutMs) = 0;

  // Write, pause and read as one step: every display hears the one line, so a second
  // exchange must not write before the first has read its reply. Empty when the write failed
  // or nothing arrived.
  std::string Exchange(std::string_view command, std::chrono::milliseconds pause,
                       const Sleeper& sleep, std::string_view setId, int timeoutMs) {
    ExpectOffUiThread("a serial exchange");
    std::lock_guard turn(m_turn);
    if (!Write(command)) return std::string();
    sleep(pause);
    return Read(setId, timeoutMs);
  }

 private:
  std::mutex m_turn;
};

}  // namespace tarnex
