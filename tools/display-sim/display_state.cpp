#include "display-sim/display_state.h"

#include <algorithm>

#include "display-sim/command_line_parser.h"
#include "display-sim/setting_catalogue.h"

namespace tarnex::sim {
namespace {

constexpr int kMaxLampHours = 0xffff;  // two bytes on the wire

}  // namespace

std::string SettingKey(std::string_view letters, int index) {
  std::string key(letters);
  if (index >= 0) key += " " + HexByte(index);
  return key;
}

DisplayState::DisplayState() {
  for (const SettingInfo& setting : AllSettings()) {
    if (setting.tableSize == 0) values_.emplace(SettingKey(setting.letters), setting.initial);
    for (int i = 0; i < setting.tableSize; ++i) {
      values_.emplace(SettingKey(setting.letters, i), setting.initial);
    }
  }
}

std::string DisplayState::Value(std::string_view key) const {
  const auto found = values_.find(key);
  return found == values_.end() ? std::string() : found->second;
}

void DisplayState::Store(std::string_view key, std::string data) {
  const auto found = values_.find(key);
  if (found != values_.end()) found->second = std::move(data);
}

void DisplayState::SetKind(int kind) {
  Store("nu", HexByte(std::clamp(kind, 0, 0xff)));
}

void DisplayState::SetSignal(bool present) {
  Store("na", present ? "01" : "00");
}

void DisplayState::SetFanOk(bool ok) {
  Store("nt", ok ? "01" : "00");
}

void DisplayState::SetLampHours(int hours) {
  const int clamped = std::clamp(hours, 0, kMaxLampHours);
  Store("nb", HexByte(clamped >> 8));
  Store("nc", HexByte(clamped & 0xff));
}

void DisplayState::SetLampHours2(int hours) {
  const int clamped = std::clamp(hours, 0, kMaxLampHours);
  Store("nd", HexByte(clamped >> 8));
  Store("ne", HexByte(clamped & 0xff));
}

}  // namespace tarnex::sim
