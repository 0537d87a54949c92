#pragma once

#include <array>
#include <string_view>

// What the status readers show for each reply, matched on the reply's first ten characters.
namespace tarnex::status {

struct ReplyText {
  std::string_view reply;
  std::string_view text;
};

inline constexpr std::array<ReplyText, 3> kPower = {{
    {"a 01 OK00x", "Off"},
    {"a 01 OK01x", "On"},
    {"a 01 OK09x", "DPM"},
}};
// The group list knows no "DPM": a display in it shows an empty Power cell.
inline constexpr std::array<ReplyText, 2> kGroupPower = {{
    {"a 01 OK00x", "Off"},
    {"a 01 OK01x", "On"},
}};

inline constexpr std::array<ReplyText, 8> kInput = {{
    {"b 01 OK20x", "AV"},
    {"b 01 OK40x", "Component 1"},
    {"b 01 OK41x", "Component 2"},
    {"b 01 OK60x", "RGB1"},
    {"b 01 OK61x", "RGB2"},
    {"b 01 OK90x", "HDMI"},
    {"b 01 OK91x", "HDMI 2"},
    {"b 01 OK92x", "HDMI 3"},
}};

// Any other reply that is not empty shows kNoSignalInfo.
inline constexpr std::array<ReplyText, 2> kSignal = {{
    {"a 01 OK01x", "Signal"},
    {"a 01 OK00x", "No Signal"},
}};
inline constexpr std::string_view kNoSignalInfo = "N/A";

inline constexpr std::array<ReplyText, 7> kPictureMode = {{
    {"s 01 OK00x", "Vivid"},
    {"s 01 OK01x", "Standard"},
    {"s 01 OK02x", "Cinema"},
    {"s 01 OK03x", "Sport"},
    {"s 01 OK04x", "Game"},
    {"s 01 OK05x", "Expert1"},
    {"s 01 OK06x", "Expert2"},
}};

// Data 10 to 1f are "CinemaZoom1" to "CinemaZoom16".
inline constexpr std::array<ReplyText, 22> kAspect = {{
    {"c 01 OK01x", "4 : 3"},          {"c 01 OK02x", "16 : 9"},
    {"c 01 OK04x", "Zoom"},           {"c 01 OK05x", "15 : 10"},
    {"c 01 OK06x", "Set By Program"}, {"c 01 OK09x", "Just Scan"},
    {"c 01 OK10x", "CinemaZoom1"},    {"c 01 OK11x", "CinemaZoom2"},
    {"c 01 OK12x", "CinemaZoom3"},    {"c 01 OK13x", "CinemaZoom4"},
    {"c 01 OK14x", "CinemaZoom5"},    {"c 01 OK15x", "CinemaZoom6"},
    {"c 01 OK16x", "CinemaZoom7"},    {"c 01 OK17x", "CinemaZoom8"},
    {"c 01 OK18x", "CinemaZoom9"},    {"c 01 OK19x", "CinemaZoom10"},
    {"c 01 OK1ax", "CinemaZoom11"},   {"c 01 OK1bx", "CinemaZoom12"},
    {"c 01 OK1cx", "CinemaZoom13"},   {"c 01 OK1dx", "CinemaZoom14"},
    {"c 01 OK1ex", "CinemaZoom15"},   {"c 01 OK1fx", "CinemaZoom16"},
}};

inline constexpr std::string_view kFanNormalReply = "t 01 OK01x";
inline constexpr std::string_view kFanAbnormalReply = "t 01 OK00x";
inline constexpr std::string_view kFanOk = "OK";
inline constexpr std::string_view kFanNg = "NG";

}  // namespace tarnex::status
