#pragma once

#include <array>
#include <string_view>

// Every command letter pair the console sends, and the settings backup set. All texts carry
// set ID "01"; the serial path writes the addressed set ID over it.
namespace tarnex::protocol {

namespace letters {
inline constexpr std::string_view kPower = "ka";
inline constexpr std::string_view kInputSelect = "xb";
inline constexpr std::string_view kScreenMute = "kd";
inline constexpr std::string_view kRgbMonitorOut = "nr";
inline constexpr std::string_view kAutoConfigure = "ju";
inline constexpr std::string_view kPictureMode = "ns";
inline constexpr std::string_view kContrast = "kg";
inline constexpr std::string_view kBrightness = "kh";
inline constexpr std::string_view kColour = "ki";
inline constexpr std::string_view kSharpness = "kk";
inline constexpr std::string_view kBlackLevel = "nm";
inline constexpr std::string_view kColourTemperature = "ku";
inline constexpr std::string_view kRedGain = "jw";
inline constexpr std::string_view kGreenGain = "jy";
inline constexpr std::string_view kBlueGain = "jz";
inline constexpr std::string_view k3d = "nn";
inline constexpr std::string_view k3dLeftRight = "no";
inline constexpr std::string_view kDisplayKind = "nu";
inline constexpr std::string_view kSignal = "na";
inline constexpr std::string_view kAspectRatio = "kc";
inline constexpr std::string_view kKeyLock = "km";
inline constexpr std::string_view kHighAltitude = "ko";
inline constexpr std::string_view kLampMode = "np";
inline constexpr std::string_view kLampTime1High = "nb";
inline constexpr std::string_view kLampTime1Low = "nc";
inline constexpr std::string_view kLampTime2High = "nd";
inline constexpr std::string_view kLampTime2Low = "ne";
inline constexpr std::string_view kFanState = "nt";
inline constexpr std::string_view kInformationProbe = "fy";
inline constexpr std::string_view kMessage = "F#";
// Settings carried only by backup and restore, as opaque values.
inline constexpr std::array<std::string_view, 23> kBackupOnly = {
    "kb", "kf", "ke", "dx", "mg", "dy", "du", "kt", "dv", "fq", "fr", "fs",
    "ft", "kv", "kw", "k$", "jp", "fo", "fj", "ff", "fg", "fh", "fl"};
inline constexpr std::string_view kBackupThreeFields = "fa";
inline constexpr std::string_view kBackupTwoFields1 = "fb";
inline constexpr std::string_view kBackupTwoFields2 = "fc";
inline constexpr std::string_view kBackupTable1 = "fd";  // eight entries, two fields each
inline constexpr std::string_view kBackupTable2 = "fe";  // eight entries, two fields each
inline constexpr std::string_view kBackupTable3 = "fu";  // eight entries, one field each
}  // namespace letters

namespace query {
inline constexpr std::string_view kPower = "ka 01 ff\n";
inline constexpr std::string_view kInputSelect = "xb 01 ff\n";
inline constexpr std::string_view kScreenMute = "kd 01 ff\n";
inline constexpr std::string_view kRgbMonitorOut = "nr 01 ff\n";
inline constexpr std::string_view kPictureMode = "ns 01 ff\n";
inline constexpr std::string_view kContrast = "kg 01 ff\n";
inline constexpr std::string_view kBrightness = "kh 01 ff\n";
inline constexpr std::string_view kColour = "ki 01 ff\n";
inline constexpr std::string_view kSharpness = "kk 01 ff\n";
inline constexpr std::string_view kBlackLevel = "nm 01 ff\n";
inline constexpr std::string_view kColourTemperature = "ku 01 ff\n";
inline constexpr std::string_view kRedGain = "jw 01 ff\n";
inline constexpr std::string_view kGreenGain = "jy 01 ff\n";
inline constexpr std::string_view kBlueGain = "jz 01 ff\n";
inline constexpr std::string_view k3d = "nn 01 ff\n";
inline constexpr std::string_view k3dLeftRight = "no 01 ff\n";
inline constexpr std::string_view kDisplayKind = "nu 01 ff\n";
inline constexpr std::string_view kSignal = "na 01 ff\n";
inline constexpr std::string_view kAspectRatio = "kc 01 ff\n";
inline constexpr std::string_view kKeyLock = "km 01 ff\n";
inline constexpr std::string_view kHighAltitude = "ko 01 ff\n";
inline constexpr std::string_view kLampMode = "np 01 ff\n";
inline constexpr std::string_view kLampTime1High = "nb 01 ff\n";
inline constexpr std::string_view kLampTime1Low = "nc 01 ff\n";
inline constexpr std::string_view kLampTime2High = "nd 01 ff\n";
inline constexpr std::string_view kLampTime2Low = "ne 01 ff\n";
inline constexpr std::string_view kFanState = "nt 01 ff\n";
inline constexpr std::string_view kInformationProbe = "fy 01 ff\n";
}  // namespace query

namespace command {
inline constexpr std::string_view kPowerOn = "ka 01 01\n";
inline constexpr std::string_view kPowerOff = "ka 01 00\n";
inline constexpr std::string_view kAutoConfigure = "ju 01 01\n";
// The answers that power commands inside a group send report without reading the display.
inline constexpr std::string_view kPowerOnReply = "a 01 OK01x";
inline constexpr std::string_view kPowerOffReply = "a 01 OK00x";
}  // namespace command

// The backup set: 60 queries in the order of the backup file's keys "0" to "59".
inline constexpr size_t kBackupQueryCount = 60;
inline constexpr std::array<std::string_view, kBackupQueryCount> kBackupQueries = {
    "ka 01 ff\n",       "kb 01 ff\n",       "kf 01 ff\n",       "kd 01 ff\n",
    "ke 01 ff\n",       "ko 01 ff\n",       "dx 01 ff\n",       "mg 01 ff\n",
    "kg 01 ff\n",       "kh 01 ff\n",       "ki 01 ff\n",       "kk 01 ff\n",
    "dy 01 ff\n",       "du 01 ff\n",       "kt 01 ff\n",       "dv 01 ff\n",
    "fq 01 ff\n",       "fr 01 ff\n",       "fs 01 ff\n",       "ft 01 ff\n",
    "ku 01 ff\n",       "kv 01 ff\n",       "kw 01 ff\n",       "k$ 01 ff\n",
    "kc 01 ff\n",       "jp 01 ff\n",       "fo 01 ff\n",       "fj 01 ff\n",
    "km 01 ff\n",       "ff 01 ff\n",       "fg 01 ff\n",       "fh 01 ff\n",
    "fl 01 ff\n",       "fa 01 ff ff ff\n", "fu 01 00 ff\n",    "fu 01 01 ff\n",
    "fu 01 02 ff\n",    "fu 01 03 ff\n",    "fu 01 04 ff\n",    "fu 01 05 ff\n",
    "fu 01 06 ff\n",    "fu 01 07 ff\n",    "fc 01 ff ff\n",    "fe 01 00 ff ff\n",
    "fe 01 01 ff ff\n", "fe 01 02 ff ff\n", "fe 01 03 ff ff\n", "fe 01 04 ff ff\n",
    "fe 01 05 ff ff\n", "fe 01 06 ff ff\n", "fe 01 07 ff ff\n", "fb 01 ff ff\n",
    "fd 01 00 ff ff\n", "fd 01 01 ff ff\n", "fd 01 02 ff ff\n", "fd 01 03 ff ff\n",
    "fd 01 04 ff ff\n", "fd 01 05 ff ff\n", "fd 01 06 ff ff\n", "fd 01 07 ff ff\n",
};

// The 39 distinct command prefixes of the backup set, in first-use order.
inline constexpr size_t kBackupPrefixCount = 39;
inline constexpr std::array<std::string_view, kBackupPrefixCount> kBackupPrefixes = {
    "ka 01 ", "kb 01 ", "kf 01 ", "kd 01 ", "ke 01 ", "ko 01 ", "dx 01 ", "mg 01 ",
    "kg 01 ", "kh 01 ", "ki 01 ", "kk 01 ", "dy 01 ", "du 01 ", "kt 01 ", "dv 01 ",
    "fq 01 ", "fr 01 ", "fs 01 ", "ft 01 ", "ku 01 ", "kv 01 ", "kw 01 ", "k$ 01 ",
    "kc 01 ", "jp 01 ", "fo 01 ", "fj 01 ", "km 01 ", "ff 01 ", "fg 01 ", "fh 01 ",
    "fl 01 ", "fa 01 ", "fu 01 ", "fc 01 ", "fe 01 ", "fb 01 ", "fd 01 ",
};

// The discovery datagram; it travels over UDP and is not a command frame.
inline constexpr std::string_view kSearchKeyword = "SEARCHQXMNT";

}  // namespace tarnex::protocol
