#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnex {

// The device behind a stored port name: "COM<n>" and its device path form "\\.\COM<n>" open
// /dev/ttyS<n-1>, unless the environment variable TARNEX_COM<n> names another device (a USB
// adapter, or a pseudo-terminal in tests). Anything else names no device.
std::optional<std::string> SerialDevicePath(std::string_view portName);

}  // namespace tarnex
