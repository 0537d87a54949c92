#pragma once

#include <array>
#include <string_view>

#include "monitor/page_setting.h"

// The Picture page's lists, commands and replies, in list position order.
namespace tarnex::picture {

inline constexpr std::array<std::string_view, 7> kModeList = {
    "Vivid", "Standard", "Cinema", "Sport", "Game", "Expert1", "Expert2"};
inline constexpr std::array<std::string_view, 7> kModeCommands = {
    "ns 01 00\n", "ns 01 01\n", "ns 01 02\n", "ns 01 03\n",
    "ns 01 04\n", "ns 01 05\n", "ns 01 06\n"};
inline constexpr std::array<ReplyPosition, 7> kModeReplies = {{
    {"s 01 OK00x", 0},
    {"s 01 OK01x", 1},
    {"s 01 OK02x", 2},
    {"s 01 OK03x", 3},
    {"s 01 OK04x", 4},
    {"s 01 OK05x", 5},
    {"s 01 OK06x", 6},
}};

inline constexpr std::array<std::string_view, 2> kBlackLevelList = {"Low", "High"};
inline constexpr std::array<std::string_view, 2> kBlackLevelCommands = {"nm 01 00\n", "nm 01 01\n"};
inline constexpr std::array<ReplyPosition, 2> kBlackLevelReplies = {{
    {"m 01 OK00x", 0},
    {"m 01 OK01x", 1},
}};

// Positions in kSettings.
enum Setting : int { kMode, kContrast, kBrightness, kColour, kSharpness, kBlackLevel };

inline constexpr std::array<PageSetting, 6> kSettings = {{
    {"Picture Mode", "ns", kModeList, kModeCommands, kModeReplies},
    {"Contrast", "kg", {}, {}, {}},
    {"Brightness", "kh", {}, {}, {}},
    {"Color", "ki", {}, {}, {}},
    {"Sharpness", "kk", {}, {}, {}},
    {"Black Level", "nm", kBlackLevelList, kBlackLevelCommands, kBlackLevelReplies},
}};

inline constexpr std::array<ReadStep, 7> kRefreshSteps = {{
    {10, kMode},
    {20, kContrast},
    {30, kBrightness},
    {40, kColour},
    {50, kSharpness},
    {60, kBlackLevel},
    {100, kNoStep},
}};

// The Expert modes are the ones whose contrast, brightness and sharpness the operator tunes.
constexpr bool IsExpertMode(int position) {
  return position == 5 || position == 6;
}

}  // namespace tarnex::picture
