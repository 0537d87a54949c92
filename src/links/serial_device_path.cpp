#include "links/serial_device_path.h"

#include <charconv>
#include <cstdlib>

namespace tarnex {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kCom = "COM";
// Windows numbers serial ports up to 256.
constexpr int kMaxPortNumber = 256;

std::optional<int> PortNumber(std::string_view name) {
  if (name.starts_with(kDevicePrefix)) name.remove_prefix(kDevicePrefix.size());
  if (name.size() <= kCom.size() || name.size() > kCom.size() + 3) return std::nullopt;
  for (size_t i = 0; i < kCom.size(); ++i) {
    if ((name[i] & ~0x20) != kCom[i]) return std::nullopt;  // Windows names ignore case
  }
  name.remove_prefix(kCom.size());
  int number = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (error != std::errc() || end != name.data() + name.size()) return std::nullopt;
  if (number < 1 || number > kMaxPortNumber || name.front() == '0') return std::nullopt;
  return number;
}

}  // namespace

std::optional<std::string> SerialDevicePath(std::string_view portName) {
  const auto number = PortNumber(portName);
  if (!number) return std::nullopt;
  const std::string variable = "TARNEX_COM" + std::to_string(*number);
  if (const char* device = std::getenv(variable.c_str()); device != nullptr && *device != '\0') {
    return std::string(device);
  }
  return "/dev/ttyS" + std::to_string(*number - 1);
}

}  // namespace tarnex
