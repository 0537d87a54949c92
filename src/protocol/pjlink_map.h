#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/pjlink_codec.h"

namespace tarnex::pjlink {

// What the console's own command means to a PJLink display. The console and its pages speak
// the native protocol; the few commands that PJLink class 1 also knows go out as their PJLink
// equivalent, and the answer comes back in the native reply's shape, so every reader, history
// line and status decoder treats both kinds alike. A raw PJLink frame ("%1NAME ?\r") passes
// through unchanged, for what only PJLink has.
struct Request {
  std::string command;    // four letters, upper case
  std::string parameter;  // "?" for a query
  bool query = false;
  bool raw = false;    // sent as a PJLink frame: the answer is the PJLink value itself
  std::string native;  // the native command it stands for, empty when raw
};

// The request for a native command or a raw frame; none when it has no PJLink meaning.
std::optional<Request> RequestFor(std::string_view command);

// The native input code ("20" video, "40"/"41" component, "60"/"61" RGB, "90".."92" HDMI)
// as a PJLink input ("21", "22"/"23", "11"/"12", "31".."33"); empty for none.
std::string_view PjlinkInputOf(std::string_view nativeCode);
// And back: the first native code of a PJLink input; empty for one without.
std::string_view NativeInputOf(std::string_view pjlinkCode);

// The reply a native display would have given, from an OK or a value; none when the value
// has no native equivalent. For a raw request, the value itself ("OK" for an OK).
std::optional<std::string> NativeReplyFor(const Request& request, const Reply& reply);

}  // namespace tarnex::pjlink
