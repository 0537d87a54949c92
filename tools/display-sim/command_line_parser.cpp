#include "display-sim/command_line_parser.h"

#include <cctype>

namespace tarnex::sim {
namespace {

constexpr size_t kFirstFieldPos = 6;
constexpr size_t kFieldStride = 3;  // two characters and the blank that follows

int DigitValue(char c, int base) {
  const auto u = static_cast<unsigned char>(c);
  if (std::isdigit(u)) return c - '0';
  if (base == 16 && std::isxdigit(u)) return std::tolower(u) - 'a' + 10;
  return -1;
}

std::optional<int> ParseField(std::string_view field, int base) {
  if (field.size() != 2) return std::nullopt;
  const int low = DigitValue(field[1], base);
  if (low < 0) return std::nullopt;
  if (field[0] == ' ') return low;
  const int high = DigitValue(field[0], base);
  if (high < 0) return std::nullopt;
  return high * base + low;
}

bool IsCommandLetter(char c) {
  return std::isgraph(static_cast<unsigned char>(c)) != 0;
}

bool IsFieldChar(char c) {
  return c == ' ' || std::isgraph(static_cast<unsigned char>(c)) != 0;
}

bool HasFrameLayout(std::string_view line) {
  if (line.size() < kFirstFieldPos + 2 || line.size() > kMaxCommandLength) return false;
  if ((line.size() - kFirstFieldPos + 1) % kFieldStride != 0) return false;
  if (!IsCommandLetter(line[0]) || !IsCommandLetter(line[1])) return false;
  if (line[2] != ' ' || line[5] != ' ') return false;
  for (size_t i = kFirstFieldPos; i < line.size(); ++i) {
    const bool separator = (i - kFirstFieldPos) % kFieldStride == 2;
    if (separator ? line[i] != ' ' : !IsFieldChar(line[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!HasFrameLayout(line)) return std::nullopt;
  if (!ParseHexField(line.substr(3, 2)) || line[3] == ' ') return std::nullopt;
  CommandLine parsed{std::string(line.substr(0, 2)), std::string(line.substr(3, 2)), {}};
  for (size_t pos = kFirstFieldPos; pos < line.size(); pos += kFieldStride) {
    parsed.fields.emplace_back(line.substr(pos, 2));
  }
  return parsed;
}

std::optional<int> ParseHexField(std::string_view field) {
  return ParseField(field, 16);
}

std::optional<int> ParseDecimalField(std::string_view field) {
  return ParseField(field, 10);
}

std::string HexByte(int value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const auto byte = static_cast<unsigned>(value) & 0xffU;
  return {kDigits[byte >> 4], kDigits[byte & 0xfU]};
}

}  // namespace tarnex::sim
