#pragma once

#include <optional>
#include <string_view>

#include "monitor/read_context.h"

namespace tarnex {

// The value a slider reply carries in its two digits after "OK": "g 01 OK64x" is 100,
// "g 01 OK0ax" is 10. Nothing when those two characters are not hexadecimal digits.
std::optional<int> SliderValueOf(std::string_view reply);

// What one slider read found.
struct SliderReading {
  bool answered = false;     // any reply: the display answers
  std::optional<int> value;  // nothing when silent or the reply carried no value
};

// Reads one slider setting of the read's display ("kg" asks "kg 01 ff\n"); waits for the
// display, so it runs on a console worker. The slider keeps what it shows when no value came.
SliderReading ReadSliderValue(const ReadContext& context, std::string_view letters);

}  // namespace tarnex
