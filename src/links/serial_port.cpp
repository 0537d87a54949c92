#include "links/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "links/serial_device_path.h"
#include "links/serial_line_mode.h"
#include "links/serial_reply.h"
#include "platform/trace.h"
#include "protocol/command_frame.h"

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;

// The write budget per byte is 19200 / rate ms, which is 0 from 38400 baud on; the grace keeps
// a stalled line (flow stopped, adapter gone) from blocking the caller for ever.
constexpr std::chrono::milliseconds kWriteGrace{1000};

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// poll() for one event until the deadline; false on time-out, error or hang-up.
bool WaitFor(int fd, short event, Clock::time_point deadline) {
  for (;;) {
    const int wait = RemainingMs(deadline);
    if (wait == 0) return false;
    pollfd entry{fd, event, 0};
    const int ready = ::poll(&entry, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    return (entry.revents & event) != 0;
  }
}

std::string OpenError(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// Drops what is not the addressed display's (leading line ends, other displays' replies) and
// tells whether a complete reply of the addressed display remains.
bool TakeReply(std::string& received, std::string_view addressedSetId) {
  for (;;) {
    received.erase(0, received.size() - SkipLeadingLineEnds(received).size());
    const SerialReplyVerdict verdict = JudgeSerialReply(received, addressedSetId);
    if (verdict != SerialReplyVerdict::kOtherDisplay) return verdict == SerialReplyVerdict::kTaken;
    received.erase(0, FirstReplyLength(received));
  }
}

}  // namespace

CSerialPort::CSerialPort(UiHost& ui) : m_ui(ui) {}

CSerialPort::~CSerialPort() {
  std::lock_guard lock(m_mutex);
  CloseLocked();
}

bool CSerialPort::OpenSerialPort(const std::string& portName, int baudrate, int dataBits,
                                 int stopCode, int parityCode) {
  return OpenSerialPort(SerialLineSettings{portName, baudrate, dataBits, stopCode, parityCode});
}

bool CSerialPort::OpenSerialPort(const SerialLineSettings& settings) {
  bool opened;
  {
    std::lock_guard lock(m_mutex);
    opened = OpenLocked(settings);
  }
  if (opened) {
    Trace("%s,%d,%d,%d,%d\r\n", settings.portName.c_str(), settings.baudrate, settings.dataBits,
          settings.stopCode, settings.parityCode);
  } else {
    Trace("port open fail!!\r\n");
    m_ui.ShowMessage("fail Port open");
  }
  return opened;
}

bool CSerialPort::OpenLocked(const SerialLineSettings& settings) {
  CloseLocked();
  m_settings = settings;
  const auto path = SerialDevicePath(settings.portName);
  if (!path) {
    m_lastError = "no serial device is known as '" + settings.portName + "'";
    return false;
  }
  const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    m_lastError = OpenError("cannot open", *path);
    return false;
  }
  if (!::isatty(fd)) {
    m_lastError = *path + " is not a terminal device";
    ::close(fd);
    return false;
  }
  // The port is not shared: a second console on the same line would take its replies.
  ::ioctl(fd, TIOCEXCL);
  if (std::string error = ApplySerialLineMode(fd, settings); !error.empty()) {
    m_lastError = *path + ": " + error;
    ::close(fd);
    return false;
  }
  ::tcflush(fd, TCIOFLUSH);
  m_fd = fd;
  m_lastError.clear();
  return true;
}

void CSerialPort::ClosePort() {
  std::lock_guard lock(m_mutex);
  if (m_fd < 0) {
    Trace("%s Port not yet open \r\n", m_settings.portName.c_str());
    return;
  }
  Trace("ClosePort");
  CloseLocked();
  Trace("Close Port: %s \r\n", m_settings.portName.c_str());
}

void CSerialPort::CloseLocked() {
  if (m_fd < 0) return;
  ::ioctl(m_fd, TIOCNXCL);
  ::tcflush(m_fd, TCIOFLUSH);
  ::close(m_fd);
  m_fd = -1;
}

bool CSerialPort::IsOpen() const {
  std::lock_guard lock(m_mutex);
  return m_fd >= 0;
}

SerialLineSettings CSerialPort::Settings() const {
  std::lock_guard lock(m_mutex);
  return m_settings;
}

std::string CSerialPort::LastError() const {
  std::lock_guard lock(m_mutex);
  return m_lastError;
}

size_t CSerialPort::SerialWrite(std::string_view command) {
  std::lock_guard lock(m_mutex);
  return WriteLocked(command);
}

std::string CSerialPort::SerialRead(std::string_view addressedSetId, int timeoutMs) {
  std::lock_guard lock(m_mutex);
  return ReadLocked(addressedSetId, timeoutMs);
}

std::string CSerialPort::Exchange(std::string_view command, int timeoutMs, const Sleeper& sleep) {
  std::lock_guard lock(m_mutex);
  if (WriteLocked(command) != command.size()) return {};
  sleep(kReplyPause);
  const std::string_view setId = command.size() >= protocol::kSetIdPos + 2
                                     ? command.substr(protocol::kSetIdPos, 2)
                                     : std::string_view();
  return ReadLocked(setId, timeoutMs);
}

size_t CSerialPort::WriteLocked(std::string_view command) {
  if (m_fd < 0) return 0;
  ::tcflush(m_fd, TCIFLUSH);
  const int perByteMs = m_settings.baudrate > 0 ? 19200 / m_settings.baudrate : 0;
  const auto deadline = Clock::now() + kWriteGrace +
                        std::chrono::milliseconds(perByteMs) * static_cast<int>(command.size());
  size_t written = 0;
  while (written < command.size()) {
    const ssize_t n = ::write(m_fd, command.data() + written, command.size() - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      if (!WaitFor(m_fd, POLLOUT, deadline)) break;
    } else {
      break;
    }
  }
  return written;
}

std::string CSerialPort::ReadLocked(std::string_view addressedSetId, int timeoutMs) {
  if (m_fd < 0) return {};
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::array<char, kReadBufferSize> chunk{};
  std::string received;
  while (received.size() < kReadBufferSize && WaitFor(m_fd, POLLIN, deadline)) {
    const ssize_t n = ::read(m_fd, chunk.data(), kReadBufferSize - received.size());
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;  // the device went away
    received.append(chunk.data(), static_cast<size_t>(n));
    if (TakeReply(received, addressedSetId)) {
      Trace("%s", received.c_str());
      return NormalizeSerialReply(received, addressedSetId);
    }
  }
  Trace("%s", received.c_str());
  return received;
}

}  // namespace tarnex
