#pragma once

#include <string>

#include "links/serial_line_settings.h"

namespace tarnex {

// Puts an open terminal device in raw mode with the rate, data bits, parity and stop bits of
// the settings; reads never block (they return what is queued). Returns an empty text on
// success, otherwise why the line could not be set, for the trace.
std::string ApplySerialLineMode(int fd, const SerialLineSettings& settings);

}  // namespace tarnex
