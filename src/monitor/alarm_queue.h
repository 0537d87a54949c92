#pragma once

#include <functional>
#include <string>

#include "console/job_queue.h"
#include "platform/alarm_mailer.h"

namespace tarnex {

// Alarm mails in the order they were raised, sent one after another on a worker of their own.
// The sender does the slow part (composing, the SMTP dialogue); until one is installed the
// mails are dropped with a trace. What is still queued when the console closes is dropped:
// the close must not wait for a mail server.
class AlarmQueue : public AlarmMailer {
 public:
  using Sender = std::function<void(AlarmKind kind, const std::string& address)>;

  explicit AlarmQueue(Sender sender = {});

  void Enqueue(AlarmKind kind, const std::string& address) override;
  // Waits for the mail being sent, drops the others.
  void Stop() { m_mails.Stop(); }

 private:
  Sender m_sender;
  JobQueue m_mails;  // last: its worker stops before the sender goes
};

}  // namespace tarnex
