#pragma once

#include <array>
#include <cstddef>

namespace tarnex {

// The pages of the property sheet, in tab order.
enum class PageKind : std::size_t { kInformation, kControl, kPicture, kAdvanced, kSpecial };

inline constexpr std::size_t kPageCount = 5;

// RefreshActivePage asks the pages in this order; the Control page comes first because the
// other pages rely on the input query it owns.
inline constexpr std::array<PageKind, kPageCount> kRefreshOrder = {
    PageKind::kControl, PageKind::kInformation, PageKind::kPicture, PageKind::kAdvanced,
    PageKind::kSpecial};

constexpr std::size_t TabOrder(PageKind kind) {
  return static_cast<std::size_t>(kind);
}

}  // namespace tarnex
