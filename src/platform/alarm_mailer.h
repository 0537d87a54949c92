#pragma once

#include <string>

namespace tarnex {

// Sends one alarm mail of a kind (2: a display stopped answering) about a display. The alarm
// mail client implements it; calls may come from any thread and must not block on the UI.
class AlarmMailer {
 public:
  virtual ~AlarmMailer() = default;
  virtual void SendAlarmMail(int kind, const std::string& address) = 0;
};

}  // namespace tarnex
