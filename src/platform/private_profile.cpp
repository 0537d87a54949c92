#include "platform/private_profile.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

namespace tarnex {
namespace {

// Each write reads, edits and replaces the whole file; two at once would lose one of them.
std::mutex& WriterMutex() {
  static std::mutex mutex;
  return mutex;
}

unsigned CopyOut(std::string_view value, char* buffer, unsigned size) {
  const size_t count = std::min<size_t>(value.size(), size - 1);
  std::memcpy(buffer, value.data(), count);
  buffer[count] = '\0';
  return static_cast<unsigned>(count);
}

// Each name followed by a zero byte, the list by one more. A list that does not fit is cut
// and still ends in two zero bytes; the count is then size - 2.
unsigned CopyList(const std::vector<std::string_view>& names, char* buffer, unsigned size) {
  std::string list;
  for (std::string_view name : names) list.append(name).push_back('\0');
  if (list.size() + 1 <= size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<unsigned>(list.size());
  }
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

}  // namespace

unsigned GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, unsigned size, const char* file) {
  if (buffer == nullptr || size == 0) return 0;
  if (file != nullptr) {
    const ProfileCache cache(file);
    const ProfileText& text = cache.Text();
    if (section == nullptr) return CopyList(text.SectionNames(), buffer, size);
    if (key == nullptr) return CopyList(text.KeyNames(section), buffer, size);
    if (const auto value = text.Value(section, key)) return CopyOut(*value, buffer, size);
  }
  std::string_view fallback = defaultValue == nullptr ? "" : defaultValue;
  while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
  return CopyOut(fallback, buffer, size);
}

unsigned GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                               const char* file) {
  const unsigned fallback = static_cast<unsigned>(defaultValue);
  if (section == nullptr || key == nullptr || file == nullptr) return fallback;
  const ProfileCache cache(file);
  const auto value = cache.Text().Value(section, key);
  return value && !value->empty() ? ParseProfileUnsigned(*value) : fallback;
}

unsigned WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* file) {
  if (file == nullptr || !ValidProfileWrite(section, key, value)) return 0;
  std::lock_guard lock(WriterMutex());
  ProfileCache cache(file);
  return cache.Write(section, key, value) && cache.Save() ? 1 : 0;
}

}  // namespace tarnex
