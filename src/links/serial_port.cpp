#include "links/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
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

enum class Wait { kReady, kTimedOut, kStopped };

// poll() for one event on the device until the deadline. kStopped when `interruptFd` or
// `cancelFd` became readable; kTimedOut also on an error or a hang-up. poll() passes over a
// negative descriptor, so either may be -1.
Wait WaitFor(int fd, short event, int interruptFd, int cancelFd, Clock::time_point deadline) {
  for (;;) {
    const int wait = RemainingMs(deadline);
    if (wait == 0) return Wait::kTimedOut;
    std::array<pollfd, 3> entries{
        {{fd, event, 0}, {interruptFd, POLLIN, 0}, {cancelFd, POLLIN, 0}}};
    const int ready = ::poll(entries.data(), entries.size(), wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return Wait::kTimedOut;
    if (entries[1].revents != 0 || entries[2].revents != 0) return Wait::kStopped;
    return (entries[0].revents & event) != 0 ? Wait::kReady : Wait::kTimedOut;
  }
}

// True when either descriptor is readable now.
bool EitherReadable(int interruptFd, int cancelFd) {
  std::array<pollfd, 2> entries{{{interruptFd, POLLIN, 0}, {cancelFd, POLLIN, 0}}};
  return ::poll(entries.data(), entries.size(), 0) > 0;
}

std::string OpenError(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// The device of the settings, open in raw mode with their line settings and empty queues; -1
// with the reason in `error` when it cannot be.
int OpenDevice(const SerialLineSettings& settings, std::string& error) {
  const auto path = SerialDevicePath(settings.portName);
  if (!path) {
    error = "no serial device is known as '" + settings.portName + "'";
    return -1;
  }
  const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = OpenError("cannot open", *path);
    return -1;
  }
  if (!::isatty(fd)) {
    error = *path + " is not a terminal device";
    ::close(fd);
    return -1;
  }
  // The port is not shared: a second console on the same line would take its replies.
  ::ioctl(fd, TIOCEXCL);
  if (std::string mode = ApplySerialLineMode(fd, settings); !mode.empty()) {
    error = *path + ": " + mode;
    ::close(fd);
    return -1;
  }
  ::tcflush(fd, TCIOFLUSH);
  return fd;
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

void CountIn(int semaphoreFd) {
  const uint64_t one = 1;
  if (semaphoreFd < 0) return;
  // The count stays far below the limit, so the write cannot fail for want of room.
  [[maybe_unused]] const ssize_t written = ::write(semaphoreFd, &one, sizeof one);
}

struct CountOut {
  ~CountOut() {
    uint64_t one = 0;
    if (semaphoreFd < 0) return;
    // A semaphore eventfd gives 1 and counts one down.
    [[maybe_unused]] const ssize_t taken = ::read(semaphoreFd, &one, sizeof one);
  }
  int semaphoreFd;
};

}  // namespace

// Each caller counts itself into the semaphore before it waits for the line, and out again
// while it still holds it: a wait that starts meanwhile gives up too, until the last caller is
// through, and a wait that starts after it has no reason to.
template <typename Work>
auto CSerialPort::Interrupting(Work work) {
  CountIn(m_interruptFd);
  std::lock_guard lock(m_mutex);
  const CountOut out{m_interruptFd};
  return work();
}

CSerialPort::CSerialPort(UiHost& ui)
    : m_ui(ui), m_interruptFd(::eventfd(0, EFD_SEMAPHORE | EFD_CLOEXEC | EFD_NONBLOCK)) {}

CSerialPort::~CSerialPort() {
  Interrupting([this] { CloseLocked(); });
  if (m_interruptFd >= 0) ::close(m_interruptFd);
}

bool CSerialPort::OpenSerialPort(const std::string& portName, int baudrate, int dataBits,
                                 int stopCode, int parityCode) {
  return OpenSerialPort(SerialLineSettings{portName, baudrate, dataBits, stopCode, parityCode});
}

bool CSerialPort::OpenSerialPort(const SerialLineSettings& settings) {
  const bool opened = Interrupting([&] { return OpenLocked(settings); });
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
  std::string error;
  m_fd = OpenDevice(settings, error);
  std::lock_guard state(m_stateMutex);
  m_settings = settings;
  m_open = m_fd >= 0;
  m_lastError = std::move(error);
  return m_open;
}

void CSerialPort::ClosePort() {
  Interrupting([this] {
    const std::string name = Settings().portName;
    if (m_fd < 0) {
      Trace("%s Port not yet open \r\n", name.c_str());
      return;
    }
    Trace("ClosePort");
    CloseLocked();
    Trace("Close Port: %s \r\n", name.c_str());
  });
}

void CSerialPort::CloseLocked() {
  if (m_fd < 0) return;
  ::ioctl(m_fd, TIOCNXCL);
  ::tcflush(m_fd, TCIOFLUSH);
  ::close(m_fd);
  m_fd = -1;
  std::lock_guard state(m_stateMutex);
  m_open = false;
}

bool CSerialPort::IsOpen() const {
  std::lock_guard state(m_stateMutex);
  return m_open;
}

SerialLineSettings CSerialPort::Settings() const {
  std::lock_guard state(m_stateMutex);
  return m_settings;
}

std::string CSerialPort::LastError() const {
  std::lock_guard state(m_stateMutex);
  return m_lastError;
}

size_t CSerialPort::SerialWrite(std::string_view command) {
  std::lock_guard lock(m_mutex);
  return WriteLocked(command, -1);
}

std::string CSerialPort::SerialRead(std::string_view addressedSetId, int timeoutMs, int cancelFd) {
  std::lock_guard lock(m_mutex);
  return ReadLocked(addressedSetId, timeoutMs, cancelFd);
}

std::string CSerialPort::Exchange(std::string_view command, int timeoutMs, const Sleeper& sleep,
                                  int cancelFd) {
  std::lock_guard lock(m_mutex);
  if (WriteLocked(command, cancelFd) != command.size()) return {};
  sleep(kReplyPause);
  const std::string_view setId = command.size() >= protocol::kSetIdPos + 2
                                     ? command.substr(protocol::kSetIdPos, 2)
                                     : std::string_view();
  return ReadLocked(setId, timeoutMs, cancelFd);
}

// Nothing goes out once the caller gave up or an open or close waits for the line: every
// display would hear a command whose reply nobody reads, and answer into the next exchange.
size_t CSerialPort::WriteLocked(std::string_view command, int cancelFd) {
  if (m_fd < 0 || EitherReadable(m_interruptFd, cancelFd)) return 0;
  ::tcflush(m_fd, TCIFLUSH);
  const int baudrate = Settings().baudrate;
  const int perByteMs = baudrate > 0 ? 19200 / baudrate : 0;
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
      if (WaitFor(m_fd, POLLOUT, m_interruptFd, cancelFd, deadline) != Wait::kReady) break;
    } else {
      break;
    }
  }
  return written;
}

std::string CSerialPort::ReadLocked(std::string_view addressedSetId, int timeoutMs, int cancelFd) {
  if (m_fd < 0) return {};
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::array<char, kReadBufferSize> chunk{};
  std::string received;
  while (received.size() < kReadBufferSize) {
    const Wait wait = WaitFor(m_fd, POLLIN, m_interruptFd, cancelFd, deadline);
    // Whoever stopped the wait has no use for a reply, however much of it came.
    if (wait == Wait::kStopped) return {};
    if (wait == Wait::kTimedOut) break;
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
