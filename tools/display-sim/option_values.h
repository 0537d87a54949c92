#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnex::sim {

// The values the display-sim command line is made of. Each throws std::invalid_argument with a
// message for the user.

// "a,b,,c" -> {"a", "b", "", "c"}.
std::vector<std::string> SplitList(std::string_view text);
// A decimal number from low to high, both included; `flag` names it in the message.
int ParseNumber(const std::string& flag, const std::string& text, int low, int high);
void CheckLoopback(const std::string& address);
// Addresses and ranges FIRST-LAST, comma-separated, every one in 127.0.0.0/8.
std::vector<std::string> AddressList(std::string_view text);

}  // namespace tarnex::sim
