#pragma once

#include <span>
#include <string_view>

#include "monitor/page_reader.h"

namespace tarnex {

// One control of a menu page and the setting behind it: a drop-down list, or a slider with
// its edit box when it has no entries. The frame title is also the control's accessible name.
// A page is a table of these, in the order of its layout.
struct PageSetting {
  std::string_view frame;                      // "Picture Mode"
  std::string_view letters;                    // "ns": asked with "ns 01 ff\n"
  std::span<const std::string_view> entries;   // list entries in position order; none: slider
  std::span<const std::string_view> commands;  // by list position; an empty text sends nothing
  std::span<const ReplyPosition> replies;      // list replies; sliders carry their value

  constexpr bool IsSlider() const { return entries.empty(); }
};

// One step of a page's refresh: the popup moves to `popupPos`, then setting `setting` of the
// page's table is read; kNoStep leaves out either half.
struct ReadStep {
  int popupPos;
  int setting;
};
inline constexpr int kNoStep = -1;

}  // namespace tarnex
