#pragma once

#include <QSize>
#include <string>
#include <string_view>

namespace tarnex {

// 1 when the user's language is Korean, 0 otherwise. `localeName` is a locale name as the
// environment or Qt gives it: "ko_KR.UTF-8", "ko", "en_US", "C".
int LanguageFlagFor(std::string_view localeName);

// The main window's size as the layouts were drawn, by the language and the screen's
// horizontal DPI: for 96 and 120 DPI; other densities take the nearer of the two. The window
// is never smaller, and is wider where the platform's font needs more room.
QSize FixedWindowSize(int languageFlag, int dpi);

// The file of the configuration folder that keeps the size the operator gave the window.
inline constexpr const char* kWindowSizeFile = "Window_Layout.ini";

// The size kept in `path`, grown to `minimum` where it is smaller; `minimum` when none is
// kept, or what is kept is no size a screen has.
QSize StoredWindowSize(const std::string& path, QSize minimum);
// Keeps `size` in `path`, replacing the file whole or not at all; false when that failed.
bool StoreWindowSize(const std::string& path, QSize size);

}  // namespace tarnex
