#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnex {

// The operator's credentials, kept by the application and stored in the login file.
struct LoginCredentials {
  std::string m_id;
  std::string m_password;

  bool operator==(const LoginCredentials&) const = default;
};

inline constexpr const char* kDefaultLoginId = "Administrator";
inline constexpr const char* kDefaultLoginPassword = "5378";

// Each byte b replaced by 255 - b; the same call turns a stored value back into the text.
std::string ComplementBytes(std::string_view text);

// The credentials of the login file at `path`; the default only where no entry of that name
// exists at all. A symbolic link to a regular file is read through. None for anything else: a
// file without a non-empty ID and password (emptied, cut short, overwritten), one owned by
// another user or that group or others may write, a link to nothing, a folder, a FIFO, a
// socket, a device, or a file that cannot be read. Its credentials are unknown then, and the
// defaults must not open the console in their place.
std::optional<LoginCredentials> ReadLoginFile(const std::string& path);

// False for a text the login file cannot hold: a byte whose complement is a line break or a
// zero byte (the plain bytes 0xF2, 0xF5 or 0xFF).
bool LoginStorable(std::string_view text);

// Stores both credentials complemented, in one replacement of the file, readable by its owner
// only; a symbolic link in the file's place is replaced, never written through. Fails, leaving
// the file as it was, for an empty text (it would read back as a broken file) or one whose
// stored form would hold a line break or a zero byte (the plain bytes 0xF2, 0xF5 or 0xFF),
// which could not be read back, and for anything in the file's place that ReadLoginFile
// refuses for other reasons than missing credentials.
bool WriteLoginFile(const std::string& path, const LoginCredentials& login);

// The account the mail server wants, kept in the login file in a section of its own, each byte
// complemented as the login is.
struct MailLogin {
  std::string m_user;
  std::string m_password;

  bool operator==(const MailLogin&) const = default;
};

// Empty when the file or the section is not there, or the file cannot be read.
MailLogin ReadMailLogin(const std::string& path);
// Replaces the section, leaving the login as it is; refuses as WriteLoginFile does, and for a
// file without a whole login. Nothing is created for an empty account where no file is; a file
// made for an account holds the default login, so that it still reads as a new installation.
bool WriteMailLogin(const std::string& path, const MailLogin& login);

}  // namespace tarnex
