#pragma once

#include <string>
#include <string_view>

#include "platform/profile_cache.h"

namespace tarnex {

// One configuration file read once when this object is made and written once by Save, with
// the conventions of this console: integers as "%d", keys of tables as decimal indexes,
// missing values as 0 or the empty text, values read and written whole. The parsed file lives
// only as long as this object. Writes remember whether any of them was refused.
class ProfileFile {
 public:
  explicit ProfileFile(std::string path, ProfileAccess access = ProfileAccess::kShared)
      : m_cache(std::move(path), access) {}

  const std::string& Path() const { return m_cache.Path(); }
  // kUnreadable: the file is there but could not be read; it reads as empty and is never
  // written.
  ProfileState State() const { return m_cache.State(); }

  std::string Text(const char* section, const char* key) const;
  std::string Text(const char* section, long long index) const;
  int Int(const char* section, const char* key) const;
  int Int(const char* section, long long index) const;

  // Stores the value so that it reads back exactly: a value that a reader would trim or
  // unquote is put in quotes; every other value is written as it is.
  void Put(const char* section, const char* key, std::string_view value);
  void Put(const char* section, long long index, std::string_view value);
  void PutInt(const char* section, const char* key, int value);
  void PutInt(const char* section, long long index, int value);
  // Stores `stored` as given, for a caller that chose the stored form itself.
  void PutStored(const char* section, const char* key, std::string_view stored);

  // Writes the file in one atomic replacement if anything changed. False when a write was
  // refused or the file could not be replaced; the file on disk is then unchanged.
  bool Save();

  // False once any write was refused.
  bool Ok() const { return m_ok; }

 private:
  ProfileCache m_cache;
  bool m_ok = true;
};

// The "%d" text of an index or integer.
std::string DecimalText(long long value);

}  // namespace tarnex
