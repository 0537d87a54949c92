#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

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
  ~AlarmQueue() override;
  AlarmQueue(const AlarmQueue&) = delete;
  AlarmQueue& operator=(const AlarmQueue&) = delete;

  void Enqueue(AlarmKind kind, const std::string& address) override;
  // Waits for the mail being sent, drops the others.
  void Stop();

 private:
  struct Alarm {
    AlarmKind kind;
    std::string address;
  };
  void Run();

  Sender m_sender;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<Alarm> m_alarms;
  bool m_stopped = false;
  std::thread m_worker;
};

}  // namespace tarnex
