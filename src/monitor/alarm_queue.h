#pragma once

#include <cstddef>
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

  // A dead mail server and a fleet that keeps failing would otherwise grow the queue without
  // end; past this many waiting mails new alarms are dropped with a trace.
  static constexpr std::size_t kMaxWaiting = 1000;

  explicit AlarmQueue(Sender sender = {});

  void Enqueue(AlarmKind kind, const std::string& address) override;
  // Ahead of every waiting alarm, so the operator's test mail waits only for the mail in
  // flight; `done` runs on the mail worker once it has been sent or has failed.
  void EnqueueFirst(AlarmKind kind, const std::string& address, std::function<void()> done);
  // Waits for the mail being sent, drops the others.
  void Stop() { m_mails.Stop(); }
  // For tests: until no mail runs or waits, or the time-out passes.
  bool WaitIdle(std::chrono::milliseconds timeout) { return m_mails.WaitIdle(timeout); }

 private:
  void Send(AlarmKind kind, const std::string& address);

  Sender m_sender;
  JobQueue m_mails;  // last: its worker stops before the sender goes
};

}  // namespace tarnex
