#pragma once

#include <array>
#include <string_view>

// The entries of the Setting dialog's lists, in the order whose positions the configuration
// stores. The values the positions stand for are the serial link's (links/serial_line_settings.h).
namespace tarnex::setting_lists {

inline constexpr std::array<std::string_view, 9> kPort = {"COM1", "COM2", "COM3", "COM4", "COM5",
                                                          "COM6", "COM7", "COM8", "COM9"};
inline constexpr std::array<std::string_view, 8> kBaudrate = {"2400",  "4800",  "9600",  "14400",
                                                              "19200", "38400", "57600", "115200"};
inline constexpr std::array<std::string_view, 4> kData = {"5 bit", "6 bit", "7 bit", "8 bit"};
inline constexpr std::array<std::string_view, 3> kParity = {"even", "odd", "none"};
inline constexpr std::array<std::string_view, 2> kStop = {"0", "1"};
// Shown for the operator's information; the line runs without flow control whatever is chosen.
inline constexpr std::array<std::string_view, 3> kFlowControl = {"Xon/Xoff", "hardware", "none"};

}  // namespace tarnex::setting_lists
