#pragma once

#include "platform/profile_cache.h"

namespace tarnex {

// The private-profile (INI file) calls the configuration code was written against, with the
// results the Windows functions give: names compared without regard to ASCII case, names and
// values trimmed, a value in matching quotes returned without them, defaults for whatever is
// missing, reads cut to the caller's buffer. Values are bytes; nothing assumes UTF-8.
//
// Each call reads the file afresh and keeps nothing once it returns; a write changes one key
// and replaces the file atomically. Writes from threads of this process are taken one at a
// time, so none is lost. Code that reads or writes many keys of one file keeps a ProfileCache
// of its own instead.
//
// A file that cannot be read (see ProfileCache) reads as empty and refuses writes, so that a
// write never replaces contents it could not see.

// The value of `key` in `section` read as a decimal integer: an optional sign and the digits
// that follow, up to the first other byte ("42A" is 42, "B42" is 0). A negative value comes
// back as its unsigned two's complement, so a caller storing into int gets it back. A missing
// or empty value gives `defaultValue`.
unsigned GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                               const char* file);

// Copies the value (or the default, its trailing blanks cut) into `buffer`, at most size - 1
// bytes and a terminating zero, and returns the number of bytes copied. A null key lists the
// key names of the section, a null section the section names, each followed by a zero byte and
// the list by one more.
unsigned GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, unsigned size, const char* file);

// Sets `key` of `section` to `value` ("key=value" and CR LF, the value as given): an existing
// key is replaced where it stands, a new key goes to the end of its section, a new section to
// the end of the file, and the file is created when missing. A null value deletes the key, a
// null key the whole section. Every other line is kept byte for byte. Returns 1 on success, 0
// when the file could not be written (the file on disk is then unchanged) or a name or value
// holds a line break.
unsigned WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* file);

// Nothing is kept between calls any more; kept so that callers which reset the layer between
// runs still build.
inline void DropPrivateProfileCache() {}

}  // namespace tarnex
