#include "links/serial_line_settings.h"

namespace tarnex {
namespace {

template <typename List, typename Value>
Value Pick(const List& list, int position, Value fallback) {
  if (position < 0 || static_cast<size_t>(position) >= list.size()) return fallback;
  return list[static_cast<size_t>(position)];
}

}  // namespace

SerialLineSettings SettingsFromPositions(const SerialListPositions& positions) {
  SerialLineSettings settings;
  settings.portName = std::string(Pick(kSerialPortNames, positions.port, kSerialPortNames[1]));
  settings.baudrate = Pick(kSerialBaudrates, positions.baudrate, 9600);
  settings.dataBits = Pick(kSerialDataBits, positions.data, 8);
  settings.parityCode = Pick(kSerialParityCodes, positions.parity, kParityNone);
  settings.stopCode = Pick(kSerialStopCodes, positions.stop, kStopTwo);
  return settings;
}

}  // namespace tarnex
