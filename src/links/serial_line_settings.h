#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tarnex {

// The line settings as the configuration stores them: the port name ("COM1", "\\.\COM5"),
// bits per second, data bits, and the stop-bit and parity codes of the Windows device-control
// block the stored files were first written with.
struct SerialLineSettings {
  std::string portName;
  int baudrate = 9600;
  int dataBits = 8;
  int stopCode = 0;    // 0 one stop bit, 1 one and a half, 2 two
  int parityCode = 0;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
};

inline constexpr int kStopOne = 0;
inline constexpr int kStopTwo = 2;
inline constexpr int kParityNone = 0;
inline constexpr int kParityOdd = 1;
inline constexpr int kParityEven = 2;

// The Setting dialog's list positions.
struct SerialListPositions {
  int port = 0;
  int baudrate = 2;
  int data = 3;
  int parity = 2;
  int stop = 1;
};

// The stored port names, in list order; from the fifth on in the device path form.
inline constexpr std::array<std::string_view, 9> kSerialPortNames = {
    "COM1",        "COM2",        "COM3",        "COM4",       "\\\\.\\COM5",
    "\\\\.\\COM6", "\\\\.\\COM7", "\\\\.\\COM8", "\\\\.\\COM9"};
inline constexpr std::array<int, 8> kSerialBaudrates = {2400,  4800,  9600,  14400,
                                                        19200, 38400, 57600, 115200};
inline constexpr std::array<int, 4> kSerialDataBits = {5, 6, 7, 8};
inline constexpr std::array<int, 3> kSerialParityCodes = {kParityEven, kParityOdd, kParityNone};
inline constexpr std::array<int, 2> kSerialStopCodes = {kStopOne, kStopTwo};

// What the positions stand for. A position outside its list (nothing chosen, or a hand-edited
// file) gives that list's fallback: "COM2", 9600, 8 data bits, no parity, two stop bits.
SerialLineSettings SettingsFromPositions(const SerialListPositions& positions);

}  // namespace tarnex
