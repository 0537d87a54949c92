#pragma once

#include <poll.h>

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
  // complete arrived, and at once, empty, when `cancelFd` (kNoSocket, -1: none) is readable.
  virtual std::string Read(std::string_view setId, int timeoutMs, int cancelFd) = 0;

  // Write, pause and read as one step: every display hears the one line, so a second
  // exchange must not write before the first has read its reply. Empty when the write failed
  // or nothing arrived. Once `cancelFd` is readable (the console is closing) nothing more is
  // written and the reply is not waited for: a group's members would otherwise cost a pause
  // each, one after another, after the close.
  std::string Exchange(std::string_view command, std::chrono::milliseconds pause,
                       const Sleeper& sleep, std::string_view setId, int timeoutMs, int cancelFd) {
    ExpectOffUiThread("a serial exchange");
    std::lock_guard turn(m_turn);
    if (Cancelled(cancelFd) || !Write(command)) return std::string();
    sleep(pause);
    return Read(setId, timeoutMs, cancelFd);
  }

 private:
  static bool Cancelled(int cancelFd) {
    pollfd entry{cancelFd, POLLIN, 0};
    return cancelFd >= 0 && ::poll(&entry, 1, 0) > 0;
  }

  std::mutex m_turn;
};

}  // namespace tarnex
