#pragma once

#include <string>
#include <string_view>

#include "config/login_file.h"

namespace tarnex {

enum class LoginVerdict { kAccepted, kWrongPassword, kWrongId, kWrongBoth };

// Both values are compared as exact byte strings: letter case counts, nothing is trimmed.
LoginVerdict CheckLogin(const LoginCredentials& stored, std::string_view id,
                        std::string_view password);

// What the operator is told for a refused attempt; empty for an accepted one.
const char* LoginErrorText(LoginVerdict verdict);

// What the operator is told when the login file is there but cannot be read: no login is
// possible then, since the defaults must not stand in for credentials nobody could read.
std::string LoginFileUnreadableText(const std::string& path);

}  // namespace tarnex
