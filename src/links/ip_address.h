#pragma once

#include <string_view>

namespace tarnex {

// True for a dotted IPv4 address, four decimal numbers of 0 to 255 and nothing else
// ("10.0.0.5"). A display's address comes from a file an operator may have edited by hand:
// anything else is neither connected to nor written into the history.
bool IsDottedIPv4(std::string_view text);

}  // namespace tarnex
