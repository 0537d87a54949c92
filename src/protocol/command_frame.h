#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

// The ASCII command frame and the reply codec. Commands look like "ka 01 ff\n": two command
// letters, a space, the set ID, a space, two-character data fields and a line feed. Replies
// look like "a 01 OK01x": the second letter, the set ID, "OK", the data and an "x".
namespace tarnex::protocol {

inline constexpr size_t kSetIdPos = 3;      // set ID occupies positions 3 and 4 of a command
inline constexpr size_t kAckPos = 5;        // "OK..." starts at position 5 of a reply
inline constexpr size_t kValuePos = 7;      // first data digit of a reply
inline constexpr size_t kMatchLength = 10;  // replies are matched on their first ten characters

// "%2x": lowercase hexadecimal, width 2, blank-padded (5 -> " 5", 100 -> "64").
std::string FormatHex2(int value);
// "%2d": decimal, width 2, blank-padded; used by the on-screen message command.
std::string FormatDec2(int value);

// "ka" -> "ka 01 ff\n".
std::string BuildQuery(std::string_view letters);
// "kg", 9 -> "kg 01  9\n".
std::string BuildSetValue(std::string_view letters, int value);

// A copy of the command with positions 3 and 4 replaced by the two set ID characters. A
// command too short to hold a set ID, or a set ID that is not two characters, is returned
// unchanged.
std::string SubstituteSetId(std::string_view command, std::string_view setId);

// The set ID of a set number text: the number is read as decimal (a "0x" prefix reads it as
// hexadecimal), written back with "%x" and prefixed with "0" when one digit results:
// "5" -> "05", "10" -> "0a", "0x1F" -> "1f". A text with no number, or a number outside
// 0..255 that would not fit two characters, has no set ID.
std::optional<std::string> DeriveSetId(std::string_view setNumber);

// Letter, blank, set ID, blank: the reply to "dx" starts with an "x", so its first byte or two
// alone ("x ") would otherwise pass for a whole reply.
inline constexpr size_t kMinReplyLength = 5;

// True when the received bytes form a whole reply: at least kMinReplyLength bytes, and the
// last byte is "x" or a carriage return, or the last-but-one byte is "x".
bool IsReplyComplete(std::string_view received);

// The length of a whole, well-formed reply at the start of the received bytes that answers
// another command than the one with these letters ("a 01 OK00x" when "kd" was sent), with the
// line end that follows it; 0 when the bytes start otherwise. Such a reply is a late answer to
// an earlier command (a power command's second reply, a reply to a resend) that arrived after
// the socket was emptied for this one: taken for this command's reply, it would shift every
// later reply by one command. Garbage is not recognised here and is left to the readers.
size_t StaleReplyLength(std::string_view received, std::string_view commandLetters);

// The reply as the callers see it: the text up to its first NUL byte.
std::string_view ReplyText(std::string_view received);

// True when the first ten characters of the reply equal those of the expected reply text.
bool MatchesReply(std::string_view reply, std::string_view expected);
// Index of the first expected text the reply matches, or nullopt.
std::optional<size_t> MatchReply(std::string_view reply,
                                 std::span<const std::string_view> expected);

// The value carried by the hexadecimal digits at positions 7 and 8 ("g 01 OK4bx" -> 75).
std::optional<int> ReadNumericReply(std::string_view reply);

// The acknowledgement part, from position 5 to the end ("OK01x").
std::optional<std::string_view> AckPart(std::string_view reply);

}  // namespace tarnex::protocol
