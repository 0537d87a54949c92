#pragma once

#include <string>
#include <string_view>

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
};

}  // namespace tarnex
