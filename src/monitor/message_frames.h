#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnex {

// The on-screen message as a display takes it: text goes in data frames of at most seven
// characters, each character as its code in two lower-case hex digits (blank-padded), with
// the byte 80 ending the text.

inline constexpr int kMessageMaxLength = 70;

// The nine places of the message, in the order of the dialog's buttons: row then column.
struct MessagePlace {
  int row;
  int column;
};
MessagePlace MessagePlaceOf(int alignment);

// Only these reach a display: letters, digits, the blank, backspace and ! ? . , ( ) ' + - / :
// An empty text, or one longer than the dialog takes, is not a message either.
bool MessageSupported(std::string_view text);

// "F# 01 03 %2d %2d\n": the place alone, as the alignment buttons send it.
std::string MessagePlaceCommand(int alignment);
// "F# 01 04 01\n".."F# 01 04 07\n", as the colour list sends it (colour 0..6).
std::string MessageColourCommand(int colour);
// "F# 01 05 01\n".."F# 01 05 03\n" (size 0..2).
std::string MessageSizeCommand(int size);
inline constexpr const char* kHideMessage = "F# 01 01 00\n";
inline constexpr const char* kShowMessage = "F# 01 01 01\n";

// Every command that puts `text` on one display, in order: the message is hidden while its
// place, colour and last frame are set, and shown at the end. A text of seven or more
// characters sends its full frames before the hide. `text` must be MessageSupported.
std::vector<std::string> MessageFrames(std::string_view text, int alignment, int colour);

}  // namespace tarnex
