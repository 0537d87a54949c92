#pragma once

#include <string>
#include <string_view>

namespace tarnex {

// One configuration file read and written through the private-profile calls, with the
// conventions of this console: integers as "%d", keys of tables as decimal indexes, missing
// values as 0 or the empty text. Writes remember whether any of them failed.
class ProfileFile {
 public:
  // Values are read into a buffer of this size, so longer ones are cut, as they always were.
  static constexpr unsigned kTextBuffer = 2048;

  explicit ProfileFile(std::string path) : m_path(std::move(path)) {}

  const std::string& Path() const { return m_path; }

  std::string Text(const char* section, const char* key, unsigned size = kTextBuffer) const;
  std::string Text(const char* section, long long index) const;
  int Int(const char* section, const char* key) const;
  int Int(const char* section, long long index) const;

  void Put(const char* section, const char* key, std::string_view value);
  void Put(const char* section, long long index, std::string_view value);
  void PutInt(const char* section, const char* key, int value);
  void PutInt(const char* section, long long index, int value);

  // False once any write was refused or failed.
  bool Ok() const { return m_ok; }

 private:
  std::string m_path;
  bool m_ok = true;
};

// The "%d" text of an index or integer.
std::string DecimalText(long long value);

}  // namespace tarnex
