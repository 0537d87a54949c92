#pragma once

#include <span>
#include <string_view>

namespace tarnex::sim {

enum class Access {
  kReadWrite,  // queried with "ff", set with a value
  kReadOnly,   // state the display reports (kind, signal, fan, lamp time): queries only
  kAction,     // a one-shot order such as auto configure: acknowledged, nothing kept
};

// What a display knows about one command letter pair (the message command "F#" is handled
// apart, by the message board).
struct SettingInfo {
  std::string_view letters{};
  Access access = Access::kReadWrite;
  int tableSize = 0;           // entries chosen by an index field before the values; 0: no index
  int valueFields = 1;         // value fields after the index
  bool keepsLastOnly = false;  // sent with two fields, keeps one byte: the first is always 00
  std::string_view allowed{};  // accepted set values, blank-separated ("00 01"); empty: any byte
  int maxValue = 0xff;         // with no list: the highest accepted value
  std::string_view initial{};  // stored data at power-up, per entry for tables
};

// What the display knows of a letter pair, or nullptr for letters the display does not know.
const SettingInfo* FindSetting(std::string_view letters);

// Every letter pair it knows, for building the initial state.
std::span<const SettingInfo> AllSettings();

// True when the normalised value ("05") may be set on the setting.
bool AcceptsValue(const SettingInfo& setting, std::string_view value);

}  // namespace tarnex::sim
