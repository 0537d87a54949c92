#pragma once

#include <string>
#include <string_view>

#include "console/serial_channel.h"
#include "links/serial_port.h"

namespace tarnex {

// The serial port as the command transaction's line; the channel keeps write, pause and read
// together, and the port keeps each call whole on its own.
class CSerialPortChannel : public SerialChannel {
 public:
  explicit CSerialPortChannel(CSerialPort& port) : m_port(port) {}

  bool Write(std::string_view command) override {
    return m_port.SerialWrite(command) == command.size();
  }
  std::string Read(std::string_view setId, int timeoutMs, int cancelFd) override {
    return m_port.SerialRead(setId, timeoutMs, cancelFd);
  }

 private:
  CSerialPort& m_port;
};

}  // namespace tarnex
