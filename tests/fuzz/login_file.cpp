// The login file over any earlier content: what is written reads back, the login and the mail
// account each leaving the other as it was.
#include "config/login_file.h"
#include "fuzz_support.h"

using namespace tarnex;

namespace {

// An empty credential reads back as its default.
LoginCredentials AsRead(LoginCredentials login) {
  if (login.m_id.empty()) login.m_id = kDefaultLoginId;
  if (login.m_password.empty()) login.m_password = kDefaultLoginPassword;
  return login;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  static const fuzz::ScratchFile file("login.ini");
  fuzz::Input input(data, size);
  const LoginCredentials login{std::string(input.Field(32)), std::string(input.Field(32))};
  const MailLogin mail{std::string(input.Field(32)), std::string(input.Field(32))};
  const bool keepFile = (input.Byte() & 1) != 0;
  if (keepFile) {
    file.Write(input.Rest());
  } else {
    file.Remove();
  }

  const auto before = ReadLoginFile(file.Path());
  TARNEX_FUZZ_CHECK(before.has_value());
  const MailLogin mailBefore = ReadMailLogin(file.Path());

  const bool storable = LoginStorable(login.m_id) && LoginStorable(login.m_password);
  TARNEX_FUZZ_CHECK(WriteLoginFile(file.Path(), login) == storable);
  const auto after = ReadLoginFile(file.Path());
  TARNEX_FUZZ_CHECK(after.has_value());
  TARNEX_FUZZ_CHECK(*after == (storable ? AsRead(login) : *before));
  TARNEX_FUZZ_CHECK(ReadMailLogin(file.Path()) == mailBefore);

  const bool mailStorable = LoginStorable(mail.m_user) && LoginStorable(mail.m_password);
  TARNEX_FUZZ_CHECK(WriteMailLogin(file.Path(), mail) == mailStorable);
  TARNEX_FUZZ_CHECK(ReadMailLogin(file.Path()) == (mailStorable ? mail : mailBefore));
  TARNEX_FUZZ_CHECK(ReadLoginFile(file.Path()) == after);
  return 0;
}
