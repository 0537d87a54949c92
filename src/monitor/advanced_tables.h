#pragma once

#include <array>
#include <string_view>

#include "monitor/page_setting.h"

// The Advanced page's lists, commands and replies, in list position order.
namespace tarnex::advanced {

// Code 03 has no entry: a display reporting it selects nothing.
inline constexpr std::array<std::string_view, 4> kColourTemperatureList = {"Medium", "Cool", "Warm",
                                                                           "Natural"};
inline constexpr std::array<std::string_view, 4> kColourTemperatureCommands = {
    "ku 01 00\n", "ku 01 01\n", "ku 01 02\n", "ku 01 04\n"};
inline constexpr std::array<ReplyPosition, 4> kColourTemperatureReplies = {{
    {"u 01 OK00x", 0},
    {"u 01 OK01x", 1},
    {"u 01 OK02x", 2},
    {"u 01 OK04x", 3},
}};

// "Frame Packing" is only ever reported: no command sets it.
inline constexpr std::array<std::string_view, 5> k3dList = {
    "Top & Bottom", "Side by Side", "Frame Sequential", "Off", "Frame Packing"};
inline constexpr std::array<std::string_view, 5> k3dCommands = {"nn 01 00\n", "nn 01 01\n",
                                                                "nn 01 02\n", "nn 01 03\n", ""};
inline constexpr std::array<ReplyPosition, 5> k3dReplies = {{
    {"n 01 OK00x", 0},
    {"n 01 OK01x", 1},
    {"n 01 OK02x", 2},
    {"n 01 OK03x", 3},
    {"n 01 OK04x", 4},
}};

inline constexpr std::array<std::string_view, 2> k3dLeftRightList = {"R/L", "L/R"};
inline constexpr std::array<std::string_view, 2> k3dLeftRightCommands = {"no 01 00\n",
                                                                         "no 01 01\n"};
inline constexpr std::array<ReplyPosition, 2> k3dLeftRightReplies = {{
    {"o 01 OK00x", 0},
    {"o 01 OK01x", 1},
}};

// Positions in kSettings.
enum Setting : int { kColourTemperature, kRed, kGreen, kBlue, k3d, k3dLeftRight };

inline constexpr std::array<PageSetting, 6> kSettings = {{
    {"Color Temperature", "ku", kColourTemperatureList, kColourTemperatureCommands,
     kColourTemperatureReplies},
    {"Color R", "jw", {}, {}, {}},
    {"Color G", "jy", {}, {}, {}},
    {"Color B", "jz", {}, {}, {}},
    {"3D", "nn", k3dList, k3dCommands, k3dReplies},
    {"3D L/R", "no", k3dLeftRightList, k3dLeftRightCommands, k3dLeftRightReplies},
}};

inline constexpr std::array<ReadStep, 7> kRefreshSteps = {{
    {10, kColourTemperature},
    {20, kRed},
    {40, kGreen},
    {60, kBlue},
    {80, k3d},
    {90, k3dLeftRight},
    {100, kNoStep},
}};

}  // namespace tarnex::advanced
