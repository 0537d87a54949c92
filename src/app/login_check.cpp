#include "app/login_check.h"

namespace tarnex {

LoginVerdict CheckLogin(const LoginCredentials& stored, std::string_view id,
                        std::string_view password) {
  const bool idOk = stored.m_id == id;
  const bool passwordOk = stored.m_password == password;
  if (idOk && passwordOk) return LoginVerdict::kAccepted;
  if (idOk) return LoginVerdict::kWrongPassword;
  if (passwordOk) return LoginVerdict::kWrongId;
  return LoginVerdict::kWrongBoth;
}

const char* LoginErrorText(LoginVerdict verdict) {
  switch (verdict) {
    case LoginVerdict::kWrongPassword:
      return "Error Password";
    case LoginVerdict::kWrongId:
      return "Error ID";
    case LoginVerdict::kWrongBoth:
      return "Error ID and Password";
    case LoginVerdict::kAccepted:
      break;
  }
  return "";
}

std::string LoginFileUnreadableText(const std::string& path) {
  return "The login file cannot be read: " + path;
}

}  // namespace tarnex
