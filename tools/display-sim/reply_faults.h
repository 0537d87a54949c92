#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnex::sim {

// Bytes that are no reply at all (no letter, set ID or "OK" where they belong) but end in "x",
// so that the console sees a complete reply that matches nothing.
std::string GarbageReply();

// The reply with one more data character before its closing "x", so that it carries an odd
// number of data characters and no longer matches its expected text.
std::string OddLengthReply(std::string_view reply);

// The reply cut into two or three pieces (three when it is long enough), to be written with
// pauses between them.
std::vector<std::string> SplitReply(std::string_view reply);

}  // namespace tarnex::sim
