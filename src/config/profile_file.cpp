#include "config/profile_file.h"

#include <array>
#include <charconv>
#include <vector>

#include "platform/private_profile.h"

namespace tarnex {

std::string DecimalText(long long value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string ProfileFile::Text(const char* section, const char* key, unsigned size) const {
  // Hundreds of thousands of reads load a large configuration: keep the buffer off the heap.
  std::array<char, kTextBuffer> local;
  std::vector<char> large(size > local.size() ? size : 0);
  char* buffer = large.empty() ? local.data() : large.data();
  const unsigned length = GetPrivateProfileStringA(section, key, "", buffer, size, m_path.c_str());
  return std::string(buffer, length);
}

std::string ProfileFile::Text(const char* section, long long index) const {
  return Text(section, DecimalText(index).c_str());
}

int ProfileFile::Int(const char* section, const char* key) const {
  return static_cast<int>(GetPrivateProfileIntA(section, key, 0, m_path.c_str()));
}

int ProfileFile::Int(const char* section, long long index) const {
  return Int(section, DecimalText(index).c_str());
}

void ProfileFile::Put(const char* section, const char* key, std::string_view value) {
  const std::string text(value);
  if (WritePrivateProfileStringA(section, key, text.c_str(), m_path.c_str()) == 0) m_ok = false;
}

void ProfileFile::Put(const char* section, long long index, std::string_view value) {
  Put(section, DecimalText(index).c_str(), value);
}

void ProfileFile::PutInt(const char* section, const char* key, int value) {
  Put(section, key, DecimalText(value));
}

void ProfileFile::PutInt(const char* section, long long index, int value) {
  Put(section, DecimalText(index).c_str(), DecimalText(value));
}

}  // namespace tarnex
