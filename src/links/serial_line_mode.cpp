#include "links/serial_line_mode.h"

#include <termios.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "links/serial_arbitrary_rate.h"

namespace tarnex {
namespace {

std::optional<speed_t> StandardRate(int rate) {
  static constexpr std::array<std::pair<int, speed_t>, 12> kRates = {{{1200, B1200},
                                                                      {2400, B2400},
                                                                      {4800, B4800},
                                                                      {9600, B9600},
                                                                      {19200, B19200},
                                                                      {38400, B38400},
                                                                      {57600, B57600},
                                                                      {115200, B115200},
                                                                      {230400, B230400},
                                                                      {460800, B460800},
                                                                      {500000, B500000},
                                                                      {921600, B921600}}};
  for (const auto& [value, code] : kRates) {
    if (value == rate) return code;
  }
  return std::nullopt;
}

std::optional<tcflag_t> DataBitsFlag(int bits) {
  switch (bits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    case 8:
      return CS8;
    default:
      return std::nullopt;
  }
}

// Mark and space parity use the sticky-parity flag.
std::optional<tcflag_t> ParityFlags(int code) {
  switch (code) {
    case kParityNone:
      return tcflag_t{0};
    case kParityOdd:
      return tcflag_t{PARENB | PARODD};
    case kParityEven:
      return tcflag_t{PARENB};
    case 3:
      return tcflag_t{PARENB | PARODD | CMSPAR};
    case 4:
      return tcflag_t{PARENB | CMSPAR};
    default:
      return std::nullopt;
  }
}

// One and a half stop bits exist only with five data bits, where a UART asked for two stop
// bits sends one and a half.
std::optional<tcflag_t> StopFlags(int code) {
  if (code == kStopOne) return tcflag_t{0};
  if (code == 1 || code == kStopTwo) return tcflag_t{CSTOPB};
  return std::nullopt;
}

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::string ApplySerialLineMode(int fd, const SerialLineSettings& settings) {
  const auto dataBits = DataBitsFlag(settings.dataBits);
  if (!dataBits) return "unsupported data bits " + std::to_string(settings.dataBits);
  const auto parity = ParityFlags(settings.parityCode);
  if (!parity) return "unsupported parity code " + std::to_string(settings.parityCode);
  const auto stop = StopFlags(settings.stopCode);
  if (!stop) return "unsupported stop-bit code " + std::to_string(settings.stopCode);
  if (settings.baudrate <= 0) return "unsupported rate " + std::to_string(settings.baudrate);

  termios mode{};
  if (::tcgetattr(fd, &mode) != 0) return Errno("tcgetattr");
  ::cfmakeraw(&mode);
  mode.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  mode.c_cflag |= *dataBits | *parity | *stop | CLOCAL | CREAD;
  mode.c_iflag &= ~(IXON | IXOFF | IXANY);
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  // A rate the table lacks goes through the standard call first with a stand-in, so that an
  // arbitrary rate left by an earlier open is cleared from both speed fields either way.
  const auto standard = StandardRate(settings.baudrate);
  mode.c_cflag &= ~(CBAUD | CIBAUD);
  ::cfsetispeed(&mode, standard.value_or(B38400));
  ::cfsetospeed(&mode, standard.value_or(B38400));
  if (::tcsetattr(fd, TCSANOW, &mode) != 0) return Errno("tcsetattr");
  // tcsetattr succeeds when any part was taken, so the rate is checked on its own.
  termios applied{};
  if (::tcgetattr(fd, &applied) != 0) return Errno("tcgetattr");
  if (standard && ::cfgetospeed(&applied) != *standard) {
    return "the device refuses " + std::to_string(settings.baudrate) + " baud";
  }
  if (!standard && !SetArbitraryRate(fd, settings.baudrate)) {
    return "the device refuses the non-standard rate " + std::to_string(settings.baudrate) +
           " baud";
  }
  return {};
}

}  // namespace tarnex
