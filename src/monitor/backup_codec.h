#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarnex {

// The data characters that the reply to backup query `key` carries: 2, 4 or 6.
size_t BackupReplyDataLength(size_t key);

// The value a backup keeps from the reply to query `key`: the reply's data digits, "00" and
// the two digits for keys 42 and 51, whose commands take two fields but whose displays answer
// one. Only a whole reply to that very query with exactly its number of hexadecimal digits
// gives a value: a short, garbled or foreign reply gives none, never bytes from before it.
// A line end after the closing "x" is ignored.
std::optional<std::string> BackupValueFromReply(size_t key, std::string_view reply);

// True when the reply, without a line end, has an odd number of characters: the display is
// asked again, as such a reply cannot hold whole hexadecimal pairs.
bool IsOddLengthReply(std::string_view reply);

// The characters of the fields that the set command of key `key` takes: 2 per field, so 2,
// 4 or 6 (4 for keys 42 and 51).
size_t BackupKeyFieldChars(size_t key);

// The restore command for a stored value, built by the value's length: 2 characters after the
// key's prefix, or 4 or 6 as pairs joined by blanks, and a line feed ("fa 01 12 34 56\n").
// A value that is not 2, 4 or 6 hexadecimal digits gives no command: nothing from a backup
// file reaches a display but hexadecimal pairs. Nor does a value longer than the key's fields:
// its extra pairs would reach the display as fields the command does not have.
std::optional<std::string> RestoreCommand(size_t key, std::string_view value);

// The debugger trace of a repeated backup query.
const char* BackupRetryTrace(size_t key);

}  // namespace tarnex
