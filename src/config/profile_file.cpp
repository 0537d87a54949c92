#include "config/profile_file.h"

#include <charconv>

namespace tarnex {

std::string DecimalText(long long value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string ProfileFile::Text(const char* section, const char* key) const {
  const auto value = m_cache.Text().Value(section, key);
  return value ? std::string(*value) : std::string();
}

std::string ProfileFile::Text(const char* section, long long index) const {
  return Text(section, DecimalText(index).c_str());
}

int ProfileFile::Int(const char* section, const char* key) const {
  const auto value = m_cache.Text().Value(section, key);
  return value && !value->empty() ? static_cast<int>(ParseProfileUnsigned(*value)) : 0;
}

int ProfileFile::Int(const char* section, long long index) const {
  return Int(section, DecimalText(index).c_str());
}

void ProfileFile::PutStored(const char* section, const char* key, std::string_view stored) {
  const std::string text(stored);
  if (!m_cache.Write(section, key, text.c_str())) m_ok = false;
}

void ProfileFile::Put(const char* section, const char* key, std::string_view value) {
  // The value is stored as a C string: quoting must see what is stored, not the bytes after a
  // zero byte, or the stored form would keep an opening quote without its closing one.
  PutStored(section, key, QuotedIfNeeded(value.substr(0, value.find('\0'))));
}

void ProfileFile::Put(const char* section, long long index, std::string_view value) {
  Put(section, DecimalText(index).c_str(), value);
}

void ProfileFile::PutInt(const char* section, const char* key, int value) {
  PutStored(section, key, DecimalText(value));
}

void ProfileFile::PutInt(const char* section, long long index, int value) {
  PutStored(section, DecimalText(index).c_str(), DecimalText(value));
}

bool ProfileFile::Save() {
  return m_cache.Save() && m_ok;
}

}  // namespace tarnex
