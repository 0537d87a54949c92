#pragma once

#include <string>
#include <string_view>

namespace tarnex {

// Every display on the serial line hears every command, so a reply is judged by the set ID it
// carries (positions 2 and 3, "a 05 OK01x"). Displays answer with set ID "01" by default and
// some with their own; both are the addressed display's answer. A reply carrying another set
// ID is a different display's (a late answer to an earlier command) and is not taken. Bytes
// that carry no set ID at all are taken as they are: they match no expected reply, just as on
// the network link. A command to set ID "00" reaches every display, so any answer is taken.
// Completeness follows the codec's rule, once the set ID has arrived.
enum class SerialReplyVerdict {
  kIncomplete,    // no complete reply yet
  kTaken,         // a complete reply of the addressed display
  kOtherDisplay,  // a complete reply of another display
};

SerialReplyVerdict JudgeSerialReply(std::string_view received, std::string_view addressedSetId);

// The reply as the pages expect it: their reply tables carry set ID "01", so a taken reply
// that carries the display's own set ID gets "01" in its place ("a 05 OK01x" -> "a 01 OK01x").
// Other text is returned unchanged.
std::string NormalizeSerialReply(std::string_view reply, std::string_view addressedSetId);

// The length of the first reply in the received bytes: up to its "x" (the first one after the
// set ID), or all of them when there is none. What follows belongs to the next reply.
size_t FirstReplyLength(std::string_view received);

// Line ends that lead the received bytes (what a display sent after its last "x") are not part
// of the next reply.
std::string_view SkipLeadingLineEnds(std::string_view received);

}  // namespace tarnex
