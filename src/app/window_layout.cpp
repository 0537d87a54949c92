#include "app/window_layout.h"

#include "config/profile_file.h"

namespace tarnex {
namespace {

constexpr const char* kSection = "Window";
constexpr const char* kWidthKey = "Width";
constexpr const char* kHeightKey = "Height";
// Larger than any screen: a value beyond it was not written by this console.
constexpr int kLargestSide = 16384;

bool Plausible(int side) {
  return side > 0 && side <= kLargestSide;
}

}  // namespace

int LanguageFlagFor(std::string_view localeName) {
  const std::string_view language = localeName.substr(0, localeName.find_first_of("_-.@"));
  return language == "ko" ? 1 : 0;
}

QSize FixedWindowSize(int languageFlag, int dpi) {
  const bool large = dpi >= 108;
  if (languageFlag == 1) return large ? QSize(1072, 728) : QSize(912, 590);
  return large ? QSize(1072, 766) : QSize(814, 630);
}

QSize StoredWindowSize(const std::string& path, QSize minimum) {
  const ProfileFile file(path);
  const QSize stored(file.Int(kSection, kWidthKey), file.Int(kSection, kHeightKey));
  if (!Plausible(stored.width()) || !Plausible(stored.height())) return minimum;
  return stored.expandedTo(minimum);
}

bool StoreWindowSize(const std::string& path, QSize size) {
  ProfileFile file(path);
  file.PutInt(kSection, kWidthKey, size.width());
  file.PutInt(kSection, kHeightKey, size.height());
  return file.Save();
}

}  // namespace tarnex
