#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnex::sim {

// One command line split at its fixed positions: "kg 01  9" has the letters "kg", the set ID
// "01" and the single field " 9". Fields stay as received (two characters each) because the
// console pads numbers with a blank rather than a zero.
struct CommandLine {
  std::string letters;
  std::string setId;
  std::vector<std::string> fields;
};

// The longest line a display accepts; the longest command the console sends (a message frame
// carrying seven characters) is 36 characters.
inline constexpr size_t kMaxCommandLength = 256;

// Splits a line given without its line feed (a trailing carriage return is tolerated).
// Anything that is not letters, set ID and two-character fields separated by single blanks is
// rejected.
std::optional<CommandLine> ParseCommandLine(std::string_view line);

// A field written with "%2x" or "%02x": " 5", "05", "4B" -> 5, 5, 75.
std::optional<int> ParseHexField(std::string_view field);
// A field written with "%2d": " 2", "02" -> 2.
std::optional<int> ParseDecimalField(std::string_view field);
// A byte as the display writes it into a reply: two lowercase hexadecimal digits.
std::string HexByte(int value);

}  // namespace tarnex::sim
