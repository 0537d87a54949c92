// The login file over any earlier content: what is written reads back, the login and the mail
// account each leaving the other as it was.
#include "config/login_file.h"
#include <optional>

#include "fuzz_support.h"

using namespace tarnex;

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

  // Whatever the earlier content, a whole login written reads back; a broken file stays
  // refused, and the mail account is kept only beside a whole login (or where no file is).
  const auto before = ReadLoginFile(file.Path());
  const MailLogin mailBefore = ReadMailLogin(file.Path());

  const bool storable = !login.m_id.empty() && !login.m_password.empty() &&
                        LoginStorable(login.m_id) && LoginStorable(login.m_password);
  TARNEX_FUZZ_CHECK(WriteLoginFile(file.Path(), login) == storable);
  const auto after = ReadLoginFile(file.Path());
  TARNEX_FUZZ_CHECK(after == (storable ? std::optional<LoginCredentials>(login) : before));
  TARNEX_FUZZ_CHECK(ReadMailLogin(file.Path()) == mailBefore);

  const bool mailStorable = LoginStorable(mail.m_user) && LoginStorable(mail.m_password);
  const bool mailWritten = mailStorable && after.has_value();
  TARNEX_FUZZ_CHECK(WriteMailLogin(file.Path(), mail) == mailWritten);
  TARNEX_FUZZ_CHECK(ReadMailLogin(file.Path()) == (mailWritten ? mail : mailBefore));
  TARNEX_FUZZ_CHECK(ReadLoginFile(file.Path()) == after);
  return 0;
}
