#pragma once

#include <string>

namespace tarnex {

// What an alarm mail is about; the values are the kinds the mail texts are chosen by.
enum class AlarmKind {
  kTest = 0,
  kCredentialsChanged = 1,
  kLinkFault = 2,
  kFanFault = 3,
  // A scheduled run left displays it could not reach: one mail per run, the "address" being
  // the entry and its failed members.
  kScheduleFailed = 4,
};

// Hands one alarm mail about a display to whoever sends mail. Enqueue returns at once: a mail
// server that is slow or down must not hold an exchange, the console lock or the window.
// Calls may come from any thread.
class AlarmMailer {
 public:
  virtual ~AlarmMailer() = default;
  virtual void Enqueue(AlarmKind kind, const std::string& address) = 0;
};

}  // namespace tarnex
