#pragma once

#include <QSize>
#include <string_view>

namespace tarnex {

// 1 when the user's language is Korean, 0 otherwise. `localeName` is a locale name as the
// environment or Qt gives it: "ko_KR.UTF-8", "ko", "en_US", "C".
int LanguageFlagFor(std::string_view localeName);

// The main window's one size, fixed by the language and the screen's horizontal DPI. The
// layouts were drawn for 96 and 120 DPI; other densities take the nearer of the two.
QSize FixedWindowSize(int languageFlag, int dpi);

}  // namespace tarnex
