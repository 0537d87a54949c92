#pragma once

#include <optional>
#include <string_view>

#include "console/console_core.h"

namespace tarnex {

// The value a slider reply carries in its two digits after "OK": "g 01 OK64x" is 100,
// "g 01 OK0ax" is 10. Nothing when those two characters are not hexadecimal digits.
std::optional<int> SliderValueOf(std::string_view reply);

// Reads one slider setting of the selected display ("kg" asks "kg 01 ff\n"); waits for the
// display, so it runs on the console's worker. Any reply marks the selected display as
// answering. Nothing when the display was silent or its reply carried no value, and the
// slider then keeps what it shows.
std::optional<int> ReadSliderValue(CConsoleCore& core, std::string_view letters);

}  // namespace tarnex
