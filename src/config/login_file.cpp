#include "config/login_file.h"

#include <sys/stat.h>

#include "config/config_keys.h"
#include "config/profile_file.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

std::string ReadCredential(const ProfileFile& file, const char* key) {
  return ComplementBytes(file.Text(keys::kLogin, key));
}

bool Storable(std::string_view stored) {
  return stored.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool IsBlankOrQuote(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '"' || c == '\'';
}

// A reader trims blanks around a value and strips a matching pair of quotes; a value that
// starts or ends with either is wrapped in quotes so that it reads back exactly. Complemented
// ASCII never needs this, so files written before keep their form.
std::string Protected(std::string stored) {
  if (stored.empty() || (!IsBlankOrQuote(stored.front()) && !IsBlankOrQuote(stored.back()))) {
    return stored;
  }
  return "\"" + stored + "\"";
}

// Only a name with no directory entry at all is a new installation. Anything else that is not
// a readable regular file, a link whose file is gone included, holds credentials nobody can
// read: the defaults must not open the console in their place, nor a save create a file
// where the link points.
bool Unusable(const ProfileFile& file) {
  if (file.State() == ProfileState::kUnreadable) return true;
  struct stat entry {};
  return file.State() == ProfileState::kMissing && ::lstat(file.Path().c_str(), &entry) == 0;
}

// A file that was emptied, cut short or overwritten has lost the credentials it was written
// with; its remains say nothing about who may log in.
bool Whole(const ProfileFile& file) {
  return !file.Text(keys::kLogin, keys::kLoginId).empty() &&
         !file.Text(keys::kLogin, keys::kLoginPw).empty();
}

void PutLogin(ProfileFile& file, const std::string& id, const std::string& password) {
  // The login file has always been written in this form of its own; it stays byte for byte.
  file.PutStored(keys::kLogin, keys::kLoginId, Protected(id));
  file.PutStored(keys::kLogin, keys::kLoginPw, Protected(password));
}

}  // namespace

bool LoginStorable(std::string_view text) {
  return Storable(ComplementBytes(text));
}

std::string ComplementBytes(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(~static_cast<unsigned char>(c));
  return result;
}

std::optional<LoginCredentials> ReadLoginFile(const std::string& path) {
  const ProfileFile file(path, ProfileAccess::kOwnerOnly);
  if (Unusable(file)) return std::nullopt;
  if (file.State() == ProfileState::kMissing) {
    return LoginCredentials{kDefaultLoginId, kDefaultLoginPassword};
  }
  if (!Whole(file)) return std::nullopt;
  return LoginCredentials{ReadCredential(file, keys::kLoginId),
                          ReadCredential(file, keys::kLoginPw)};
}

bool WriteLoginFile(const std::string& path, const LoginCredentials& login) {
  const std::string id = ComplementBytes(login.m_id);
  const std::string password = ComplementBytes(login.m_password);
  if (id.empty() || password.empty() || !Storable(id) || !Storable(password)) return false;
  ProfileFile file(path, ProfileAccess::kOwnerOnly);
  if (Unusable(file)) return false;
  PutLogin(file, id, password);
  return file.Save();
}

MailLogin ReadMailLogin(const std::string& path) {
  const ProfileFile file(path, ProfileAccess::kOwnerOnly);
  if (Unusable(file)) return {};
  return {ComplementBytes(file.Text(keys::kMailLogin, keys::kMailUser)),
          ComplementBytes(file.Text(keys::kMailLogin, keys::kMailPw))};
}

bool WriteMailLogin(const std::string& path, const MailLogin& login) {
  const std::string user = ComplementBytes(login.m_user);
  const std::string password = ComplementBytes(login.m_password);
  if (!Storable(user) || !Storable(password)) return false;
  ProfileFile file(path, ProfileAccess::kOwnerOnly);
  if (Unusable(file)) return false;
  if (file.State() == ProfileState::kMissing) {
    if (user.empty() && password.empty()) return true;
    // A file made for the account alone must still read as the login of a new installation.
    PutLogin(file, ComplementBytes(kDefaultLoginId), ComplementBytes(kDefaultLoginPassword));
  } else if (!Whole(file)) {
    return false;  // saving the account would pass a broken file off as kept
  }
  file.PutStored(keys::kMailLogin, keys::kMailUser, Protected(user));
  file.PutStored(keys::kMailLogin, keys::kMailPw, Protected(password));
  return file.Save();
}

}  // namespace tarnex
