#pragma once

#include <array>
#include <string_view>

#include "monitor/page_setting.h"

// The Special page's lists, commands and replies, in list position order.
namespace tarnex::special {

// The cinema-zoom steps 2 to 16 are reported as positions 6 to 20, beyond the list: the
// console offers only what it has a command for. 05 matches nothing.
inline constexpr std::array<std::string_view, 6> kAspectList = {
    "16:9", "Just Scan", "Set By Program", "4:3", "Zoom", "Cinema Zoom1"};
inline constexpr std::array<std::string_view, 6> kAspectCommands = {
    "kc 01 02\n", "kc 01 09\n", "kc 01 06\n", "kc 01 01\n", "kc 01 04\n", "kc 01 10\n"};
inline constexpr std::array<ReplyPosition, 21> kAspectReplies = {{
    {"c 01 OK02x", 0},  {"c 01 OK09x", 1},  {"c 01 OK06x", 2},  {"c 01 OK01x", 3},
    {"c 01 OK04x", 4},  {"c 01 OK10x", 5},  {"c 01 OK11x", 6},  {"c 01 OK12x", 7},
    {"c 01 OK13x", 8},  {"c 01 OK14x", 9},  {"c 01 OK15x", 10}, {"c 01 OK16x", 11},
    {"c 01 OK17x", 12}, {"c 01 OK18x", 13}, {"c 01 OK19x", 14}, {"c 01 OK1ax", 15},
    {"c 01 OK1bx", 16}, {"c 01 OK1cx", 17}, {"c 01 OK1dx", 18}, {"c 01 OK1ex", 19},
    {"c 01 OK1fx", 20},
}};

inline constexpr std::array<std::string_view, 2> kKeyLockList = {"Lock Off", "Lock On"};
inline constexpr std::array<std::string_view, 2> kKeyLockCommands = {"km 01 00\n", "km 01 01\n"};
inline constexpr std::array<ReplyPosition, 2> kKeyLockReplies = {{
    {"m 01 OK00x", 0},
    {"m 01 OK01x", 1},
}};

inline constexpr std::array<std::string_view, 2> kHighAltitudeList = {"Off", "On"};
inline constexpr std::array<std::string_view, 2> kHighAltitudeCommands = {"ko 01 00\n",
                                                                          "ko 01 01\n"};
inline constexpr std::array<ReplyPosition, 2> kHighAltitudeReplies = {{
    {"o 01 OK00x", 0},
    {"o 01 OK01x", 1},
}};

// 02 is a lamp mode the list does not offer: no entry shows.
inline constexpr std::array<std::string_view, 2> kLampModeList = {"Normal", "Economic"};
inline constexpr std::array<std::string_view, 2> kLampModeCommands = {"np 01 00\n", "np 01 01\n"};
inline constexpr std::array<ReplyPosition, 3> kLampModeReplies = {{
    {"p 01 OK00x", 0},
    {"p 01 OK01x", 1},
    {"p 01 OK02x", 2},
}};

// Positions in kSettings.
enum Setting : int { kAspect, kKeyLock, kHighAltitude, kLampMode };

inline constexpr std::array<PageSetting, 4> kSettings = {{
    {"Aspect Ratio", "kc", kAspectList, kAspectCommands, kAspectReplies},
    {"Key Lock", "km", kKeyLockList, kKeyLockCommands, kKeyLockReplies},
    {"High Altitude", "ko", kHighAltitudeList, kHighAltitudeCommands, kHighAltitudeReplies},
    {"Lamp Mode", "np", kLampModeList, kLampModeCommands, kLampModeReplies},
}};

inline constexpr std::array<ReadStep, 6> kRefreshSteps = {{
    {kNoStep, kAspect},
    {20, kNoStep},
    {40, kKeyLock},
    {60, kHighAltitude},
    {80, kLampMode},
    {100, kNoStep},
}};

}  // namespace tarnex::special
