#include "app/credential_change.h"

namespace tarnex {

ChangeOutcome ChangeCredentials(LoginCredentials& login, const NewCredentials& typed,
                                const std::function<std::string(const LoginCredentials&)>& store) {
  if (typed.password != typed.confirmation) {
    return {ChangeVerdict::kMismatch, "Please check Password and Confirm Password"};
  }
  if (typed.id.empty() || typed.password.empty()) {
    return {ChangeVerdict::kEmpty, "Please enter a new ID and Password"};
  }
  if (!LoginStorable(typed.id) || !LoginStorable(typed.password)) {
    return {ChangeVerdict::kUnstorable,
            "The new ID or Password holds a character that cannot be stored"};
  }
  const LoginCredentials changed{typed.id, typed.password};
  if (const std::string failed = store(changed); !failed.empty()) {
    return {ChangeVerdict::kNotSaved, "The new ID and Password could not be saved to " + failed};
  }
  login = changed;
  return {ChangeVerdict::kChanged, ""};
}

}  // namespace tarnex
