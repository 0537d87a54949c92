#pragma once

#include <string>

namespace tarnex {

// The private-profile (INI file) calls the configuration code was written against, with the
// results the Windows functions give: names compared without regard to ASCII case, names and
// values trimmed, a value in matching quotes returned without them, defaults for whatever is
// missing, reads cut to the caller's buffer. Values are bytes; nothing assumes UTF-8.
//
// Files are kept parsed in memory, keyed by path, and checked against the disk (size, time,
// inode) before use. Writes change the parsed file and then replace the file atomically; inside
// a ProfileBatch for that path the replacement waits until the batch ends, so a writer that
// sets thousands of keys writes the file once. Every call is safe from any thread.
//
// A file larger than kMaxProfileBytes or longer than kMaxProfileLines, or one that cannot be
// read, reads as empty and refuses writes, so that a write never replaces contents it could
// not see. The bounds keep a corrupt or hostile file from exhausting memory; the largest
// configuration of the console is about a third of either.

inline constexpr unsigned long kMaxProfileBytes = 64ul * 1024 * 1024;
inline constexpr unsigned long kMaxProfileLines = 2'000'000;

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

// Sets `key` of `section` to `value` ("key=value" and CR LF): an existing key is replaced where
// it stands, a new key goes to the end of its section, a new section to the end of the file,
// and the file is created when missing. A null value deletes the key, a null key the whole
// section. Every other line is kept byte for byte. Returns 1 on success, 0 when the file could
// not be written (the file on disk is then unchanged) or a name or value holds a line break.
unsigned WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* file);

// Who may read a file the layer writes.
enum class ProfileAccess {
  kShared,     // an existing file keeps its mode; a new one gets 0666 less the umask
  kOwnerOnly,  // always 0600: the file holds credentials
};

// Defers the writing of `path` until the batch ends: reads and writes in between work on the
// parsed file in memory, and the disk is checked only when the outermost batch begins. Batches
// of one path nest; the outermost one writes the file, once, if anything changed.
class ProfileBatch {
 public:
  explicit ProfileBatch(std::string path, ProfileAccess access = ProfileAccess::kShared);
  ~ProfileBatch();

  ProfileBatch(const ProfileBatch&) = delete;
  ProfileBatch& operator=(const ProfileBatch&) = delete;

  // Ends the batch now and reports whether the file was written (true when nothing was
  // pending, or when an outer batch of the same path will write it). On failure the file on
  // disk is unchanged and the pending writes are dropped.
  bool Commit();

 private:
  std::string m_path;
  bool m_open = true;
};

// Forgets every parsed file without pending writes, so the next access reads the disk again.
void DropPrivateProfileCache();

}  // namespace tarnex
