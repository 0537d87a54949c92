#pragma once

#include <optional>
#include <string>
#include <string_view>

// The label rules of the device tree. Labels come from hand-editable configuration files, so
// every rule here accepts any text: a missing or stray bracket, an empty label or a very long
// one gives a defined result and never reads outside the text.
namespace tarnex {

inline constexpr std::string_view kSingleRootLabel = "Single";
inline constexpr std::string_view kGroupRootLabel = "Group";

// A display's address: the text after the last "]" of its label, the whole label when it has
// none ("[Lobby]10.0.0.5" -> "10.0.0.5", "[1][Lobby]10.0.0.5" -> "10.0.0.5").
std::string_view DisplayKey(std::string_view label);

// "[%d]%s": a group member's label from its 1-based position and its display label.
std::string MemberLabel(int position, std::string_view displayLabel);

// The display label a member label carries: without a leading "[digits]" position prefix.
// Text that does not start with one is returned whole, so a bracketed name is never taken
// for a position ("[Lobby]A" stays "[Lobby]A").
std::string_view StripPositionPrefix(std::string_view memberLabel);

// Serial set-ID items and the range items that hold them.
inline constexpr int kSerialSetCount = 100;         // set IDs 0..99
std::string SerialSetLabel(int setNumber);          // "PJTR %d"
std::string SerialRangeLabel(int first, int last);  // "PJTR(%d ~ %d)"
// The set number of a serial item or member label: the digits after "PJTR " in its key
// ("[3]PJTR 15" -> 15). None without digits, or outside the set IDs 0..99.
std::optional<int> SerialSetNumber(std::string_view label);

}  // namespace tarnex
