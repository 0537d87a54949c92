#include "display-sim/setting_catalogue.h"

#include <array>

#include "display-sim/command_line_parser.h"

namespace tarnex::sim {
namespace {

constexpr int kSliderMax = 0x64;  // sliders run 0 to 100
constexpr int kTableEntries = 8;
constexpr std::string_view kOnOff = "00 01";
constexpr std::string_view kAspects =
    "01 02 04 06 09 10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f";

constexpr SettingInfo ReadWrite(std::string_view letters, std::string_view allowed,
                                std::string_view initial) {
  return {.letters = letters, .allowed = allowed, .initial = initial};
}

constexpr SettingInfo Slider(std::string_view letters, std::string_view initial) {
  return {.letters = letters, .maxValue = kSliderMax, .initial = initial};
}

constexpr SettingInfo ReadOnly(std::string_view letters, std::string_view initial) {
  return {.letters = letters, .access = Access::kReadOnly, .initial = initial};
}

// Backup-only settings: the display keeps whatever byte it is sent.
constexpr SettingInfo Opaque(std::string_view letters) {
  return {.letters = letters, .initial = "00"};
}

constexpr std::array kSettings = {
    ReadWrite("ka", kOnOff, "01"),
    ReadWrite("xb", "20 40 41 60 61 90 91 92", "90"),
    ReadWrite("kd", kOnOff, "00"),
    ReadWrite("nr", "00 01 02", "00"),
    SettingInfo{.letters = "ju", .access = Access::kAction, .allowed = "01", .initial = "01"},
    ReadWrite("ns", "00 01 02 03 04 05 06", "00"),
    Slider("kg", "32"),
    Slider("kh", "32"),
    Slider("ki", "32"),
    Slider("kk", "32"),
    ReadWrite("nm", kOnOff, "00"),
    ReadWrite("ku", "00 01 02 04", "00"),
    Slider("jw", "32"),
    Slider("jy", "32"),
    Slider("jz", "32"),
    ReadWrite("nn", "00 01 02 03", "03"),
    ReadWrite("no", kOnOff, "00"),
    ReadOnly("nu", "02"),
    ReadOnly("na", "01"),
    ReadWrite("kc", kAspects, "02"),
    ReadWrite("km", kOnOff, "00"),
    ReadWrite("ko", kOnOff, "00"),
    ReadWrite("np", "00 01 02", "00"),
    ReadOnly("nb", "00"),
    ReadOnly("nc", "00"),
    ReadOnly("nd", "00"),
    ReadOnly("ne", "00"),
    ReadOnly("nt", "01"),
    ReadOnly("fy", "01"),
    Opaque("kb"),
    Opaque("kf"),
    Opaque("ke"),
    Opaque("dx"),
    Opaque("mg"),
    Opaque("dy"),
    Opaque("du"),
    Opaque("kt"),
    Opaque("dv"),
    Opaque("fq"),
    Opaque("fr"),
    Opaque("fs"),
    Opaque("ft"),
    Opaque("kv"),
    Opaque("kw"),
    Opaque("k$"),
    Opaque("jp"),
    Opaque("fo"),
    Opaque("fj"),
    Opaque("ff"),
    Opaque("fg"),
    Opaque("fh"),
    Opaque("fl"),
    SettingInfo{.letters = "fa", .valueFields = 3, .initial = "000000"},
    SettingInfo{.letters = "fb", .valueFields = 2, .keepsLastOnly = true, .initial = "00"},
    SettingInfo{.letters = "fc", .valueFields = 2, .keepsLastOnly = true, .initial = "00"},
    SettingInfo{.letters = "fd", .tableSize = kTableEntries, .valueFields = 2, .initial = "0000"},
    SettingInfo{.letters = "fe", .tableSize = kTableEntries, .valueFields = 2, .initial = "0000"},
    SettingInfo{.letters = "fu", .tableSize = kTableEntries, .initial = "00"},
};

bool InList(std::string_view list, std::string_view value) {
  for (size_t pos = 0; pos + 2 <= list.size(); pos += 3) {
    if (list.substr(pos, 2) == value) return true;
  }
  return false;
}

}  // namespace

const SettingInfo* FindSetting(std::string_view letters) {
  for (const SettingInfo& setting : kSettings) {
    if (setting.letters == letters) return &setting;
  }
  return nullptr;
}

std::span<const SettingInfo> AllSettings() {
  return kSettings;
}

bool AcceptsValue(const SettingInfo& setting, std::string_view value) {
  if (!setting.allowed.empty()) return InList(setting.allowed, value);
  const auto number = ParseHexField(value);
  return number && *number <= setting.maxValue;
}

}  // namespace tarnex::sim
