#pragma once

#include <array>
#include <string_view>

#include "monitor/page_reader.h"

// The Control page's lists, commands and replies, in list position order.
namespace tarnex::control {

// The input list of displays of kind 1 (B) and of every other kind (A).
inline constexpr std::array<std::string_view, 6> kInputListA = {
    "Video", "Component 1", "Component 2", "RGB 1", "RGB 2", "HDMI"};
inline constexpr std::array<std::string_view, 6> kInputListB = {"Video",  "Component 1", "RGB 1",
                                                                "HDMI 1", "HDMI 2",      "HDMI 3"};
inline constexpr std::array<std::string_view, 2> kMuteList = {"Mute Off", "Mute On"};
inline constexpr std::array<std::string_view, 3> kMonitorOutList = {"RGB1", "RGB2", "AUTO"};

// Selecting an input writes its history line.
struct InputCommand {
  std::string_view command;
  std::string_view history;
};

inline constexpr std::array<InputCommand, 6> kInputCommandsKind1 = {{
    {"xb 01 20\n", "Input change to AV"},
    {"xb 01 40\n", "Input change to Component1"},
    {"xb 01 60\n", "Input change to RGB1"},
    {"xb 01 90\n", "Input change to HDMI1"},
    {"xb 01 91\n", "Input change to HDMI2"},
    {"xb 01 92\n", "Input change to HDMI3"},
}};
inline constexpr std::array<InputCommand, 6> kInputCommandsOther = {{
    {"xb 01 20\n", "Input change to AV"},
    {"xb 01 40\n", "Input change to Component1"},
    {"xb 01 41\n", "Input change to Component2"},
    {"xb 01 60\n", "Input change to RGB1"},
    {"xb 01 61\n", "Input change to RGB2"},
    {"xb 01 90\n", "Input change to HDMI"},
}};

// The input codes are 20 video, 40 and 41 component, 60 and 61 RGB, 90 to 92 HDMI. Positions
// beyond the list leave it without a selection.
inline constexpr std::array<ReplyPosition, 8> kInputRepliesKind1 = {{
    {"b 01 OK20x", 0},
    {"b 01 OK40x", 1},
    {"b 01 OK41x", 2},
    {"b 01 OK60x", 2},
    {"b 01 OK61x", 4},
    {"b 01 OK90x", 3},
    {"b 01 OK91x", 4},
    {"b 01 OK92x", 5},
}};
// Also the order in which the shared input check reports the input.
inline constexpr std::array<ReplyPosition, 8> kInputRepliesOther = {{
    {"b 01 OK20x", 0},
    {"b 01 OK40x", 1},
    {"b 01 OK41x", 2},
    {"b 01 OK60x", 3},
    {"b 01 OK61x", 4},
    {"b 01 OK90x", 5},
    {"b 01 OK91x", 6},
    {"b 01 OK92x", 7},
}};

inline constexpr std::array<std::string_view, 2> kMuteCommands = {"kd 01 00\n", "kd 01 01\n"};
inline constexpr std::array<ReplyPosition, 2> kMuteReplies = {{
    {"d 01 OK00x", 0},
    {"d 01 OK01x", 1},
}};

inline constexpr std::array<std::string_view, 3> kMonitorOutCommands = {"nr 01 00\n", "nr 01 01\n",
                                                                        "nr 01 02\n"};
inline constexpr std::array<ReplyPosition, 3> kMonitorOutReplies = {{
    {"r 01 OK00x", 0},
    {"r 01 OK01x", 1},
    {"r 01 OK02x", 2},
}};

// Kind 1 has its own input list; every other kind, an unknown one included, has list A.
constexpr bool UsesInputListB(int displayKind) {
  return displayKind == 1;
}

}  // namespace tarnex::control
