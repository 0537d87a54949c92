#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace tarnex {

// The PJLink passwords of the displays, by address. They live in a file of their own, readable
// by its owner only, because the network file is copied between machines and read by others.
// One line per display: the address, a tab, the password.
using PjlinkPasswords = std::map<std::string, std::string>;

inline constexpr size_t kMaxPjlinkPasswordLines = 1000;
inline constexpr size_t kMaxPjlinkPasswordChars = 32;  // the longest password a display takes
inline constexpr size_t kMaxPjlinkAddressChars = 64;

// No passwords and no problem for a missing file. A file that is a symbolic link, not a regular
// file, owned by another user, open to its group or others, or too large reads as no passwords,
// with `problem` saying why. Lines that are not an address and a valid password are skipped and
// named in `problem`. `problem` may be null.
PjlinkPasswords ReadPjlinkPasswords(const std::string& path, std::string* problem);

// Replaces the file whole, mode 0600; a symbolic link in its place is replaced, never written
// through. False, with the file as it was, when an entry could not be read back or the file
// could not be replaced.
bool WritePjlinkPasswords(const std::string& path, const PjlinkPasswords& passwords);

}  // namespace tarnex
