#include "monitor/message_frames.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tarnex {
namespace {

// "%2x" and "%2d" as the display reads them: width two, padded with a blank.
std::string Hex(int value, const char* after) {
  char text[4];
  std::snprintf(text, sizeof text, "%2x", value & 0xff);
  return text + std::string(after);
}

int Code(char c) {
  return static_cast<unsigned char>(c);
}

}  // namespace

MessagePlace MessagePlaceOf(int alignment) {
  const int place = std::clamp(alignment, 0, 8);
  return {place / 3, place % 3};
}

bool MessageSupported(std::string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(kMessageMaxLength)) return false;
  static constexpr std::string_view kMarks = " \b!?.,()'+-/:";
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           kMarks.find(c) != std::string_view::npos;
  });
}

std::string MessagePlaceCommand(int alignment) {
  const MessagePlace place = MessagePlaceOf(alignment);
  char text[32];
  std::snprintf(text, sizeof text, "F# 01 03 %2d %2d\n", place.row, place.column);
  return text;
}

std::string MessageColourCommand(int colour) {
  return "F# 01 04 0" + std::to_string(std::clamp(colour, 0, 6) + 1) + "\n";
}

std::string MessageSizeCommand(int size) {
  return "F# 01 05 0" + std::to_string(std::clamp(size, 0, 2) + 1) + "\n";
}

std::vector<std::string> MessageFrames(std::string_view text, int alignment, int colour) {
  const int n = static_cast<int>(std::min(text.size(), static_cast<size_t>(kMessageMaxLength)));
  if (n == 0) return {};
  const std::vector<std::string> setUp{kHideMessage, MessagePlaceCommand(alignment),
                                       "F# 01 04 " + Hex(std::clamp(colour, 0, 6) + 1, "\n")};
  std::vector<std::string> out;
  if (n <= 6) {
    out = setUp;
    std::string frame = "F# 01 02 00 " + Hex(n + 1, " ");
    for (int i = 0; i < n - 1; ++i) frame += Hex(Code(text[i]), " ");
    out.push_back(frame + Hex(Code(text[n - 1]), " 80\n"));
    out.push_back(kShowMessage);
    return out;
  }
  std::string frame = "F# 01 02 00 07 ";
  for (int i = 0; i < n; ++i) {
    const int code = Code(text[i]);
    if (i == n - 1) {
      out.insert(out.end(), setUp.begin(), setUp.end());
      if (n % 7 != 0) {
        out.push_back(frame + Hex(code, " 80\n"));
      } else {
        out.push_back(frame + Hex(code, "\n"));
        out.push_back("F# 01 02 " + Hex(n, " 01 80\n"));
      }
    } else if (i % 7 == 6) {
      out.push_back(frame + Hex(code, "\n"));
      const int offset = i + 1;
      const int left = n - offset;
      frame = "F# 01 02 " + Hex(offset, " ") + (left >= 7 ? "07 " : Hex(left + 1, " "));
    } else {
      frame += Hex(code, " ");
    }
  }
  out.push_back(kShowMessage);
  return out;
}

}  // namespace tarnex
