#pragma once

#include <functional>
#include <string>

#include "config/login_file.h"

namespace tarnex {

// What the operator typed as the new login, already in the bytes the login compares.
struct NewCredentials {
  std::string id;
  std::string password;
  std::string confirmation;
};

enum class ChangeVerdict {
  kChanged,
  kMismatch,    // the password and its confirmation differ
  kEmpty,       // an empty ID or password would read back as the well-known default
  kUnstorable,  // the login file cannot hold a byte of it
  kNotSaved,    // the login file could not be written
};

struct ChangeOutcome {
  ChangeVerdict verdict;
  // What the operator is told; empty for a change.
  std::string message;
};

// Replaces `login` by the new pair once `store` has written it to the login file; on any
// refusal `login` stays as it was and nothing else may follow (no history line, no mail).
// `store` writes the pair and returns the file it could not write, empty on success.
ChangeOutcome ChangeCredentials(LoginCredentials& login, const NewCredentials& typed,
                                const std::function<std::string(const LoginCredentials&)>& store);

}  // namespace tarnex
