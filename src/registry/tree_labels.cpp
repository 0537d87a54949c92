#include "registry/tree_labels.h"

#include <algorithm>
#include <charconv>

namespace tarnex {

namespace {

constexpr std::string_view kSerialPrefix = "PJTR ";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string_view DisplayKey(std::string_view label) {
  const size_t close = label.rfind(']');
  return close == std::string_view::npos ? label : label.substr(close + 1);
}

std::string MemberLabel(int position, std::string_view displayLabel) {
  std::string label = "[" + std::to_string(position) + "]";
  label.append(displayLabel);
  return label;
}

std::string_view StripPositionPrefix(std::string_view memberLabel) {
  if (memberLabel.empty() || memberLabel.front() != '[') return memberLabel;
  const size_t close = memberLabel.find(']');
  if (close == std::string_view::npos || close == 1) return memberLabel;
  const std::string_view digits = memberLabel.substr(1, close - 1);
  if (!std::ranges::all_of(digits, IsDigit)) return memberLabel;
  return memberLabel.substr(close + 1);
}

std::string SerialSetLabel(int setNumber) {
  return "PJTR " + std::to_string(setNumber);
}

std::string SerialRangeLabel(int first, int last) {
  return "PJTR(" + std::to_string(first) + " ~ " + std::to_string(last) + ")";
}

// Leading digits count and anything after them is ignored, as the console has always read
// set numbers; a number too large for int is out of range like any other above 99.
std::optional<int> SerialSetNumber(std::string_view label) {
  const std::string_view key = DisplayKey(label);
  if (!key.starts_with(kSerialPrefix)) return std::nullopt;
  const std::string_view digits = key.substr(kSerialPrefix.size());
  if (digits.empty() || !IsDigit(digits.front())) return std::nullopt;  // no sign, no blank
  int number = -1;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc{} || end == digits.data()) return std::nullopt;
  if (number < 0 || number >= kSerialSetCount) return std::nullopt;
  return number;
}

}  // namespace tarnex
