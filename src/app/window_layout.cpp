#include "app/window_layout.h"

namespace tarnex {

int LanguageFlagFor(std::string_view localeName) {
  const std::string_view language = localeName.substr(0, localeName.find_first_of("_-.@"));
  return language == "ko" ? 1 : 0;
}

QSize FixedWindowSize(int languageFlag, int dpi) {
  const bool large = dpi >= 108;
  if (languageFlag == 1) return large ? QSize(1072, 728) : QSize(912, 590);
  return large ? QSize(1072, 766) : QSize(814, 630);
}

}  // namespace tarnex
