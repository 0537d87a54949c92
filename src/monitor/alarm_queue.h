#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/alarm_mailer.h"

namespace tarnex {

// One alarm mail that has not gone yet.
struct QueuedAlarm {
  AlarmKind kind = AlarmKind::kTest;
  std::string address;
  int attempts = 0;        // tries made so far
  std::time_t raised = 0;  // when the alarm was raised (UTC seconds)
  bool operator==(const QueuedAlarm&) const = default;
};

// How one try went: sent, given up because the console closes, not wanted (no server or no
// recipient is set: the operator has not set up alarm mails), or failed and why.
struct AlarmMailResult {
  bool sent = false;
  bool stopped = false;
  std::string why;
  bool unwanted = false;
};

// A failed alarm mail: `givenUp` once no try is left.
struct AlarmFailure {
  QueuedAlarm alarm;
  std::string why;
  bool givenUp = false;
};

// Alarm mails in the order they were raised, sent one after another on a worker of their own.
// The sender does the slow part (composing, the SMTP dialogue). A mail that fails is tried
// again after each of the retry delays (three tries more within ten minutes), each try with the
// settings of its moment, so that a relay that was down or a setting the operator mends still
// gets the alarm out; every failure is told to the listener. The operator's test mail is tried
// once. What has not gone when the console closes is handed back by Stop, to be kept for the
// next start: the close must not wait for a mail server.
class AlarmQueue : public AlarmMailer {
 public:
  using Sender = std::function<AlarmMailResult(AlarmKind kind, const std::string& address)>;
  using Clock = std::chrono::steady_clock;

  // A dead mail server and a fleet that keeps failing would otherwise grow the queue without
  // end; past this many waiting mails new alarms are dropped with a trace.
  static constexpr std::size_t kMaxWaiting = 1000;

  struct Listener {
    // Mail worker, after every failed try of an alarm.
    std::function<void(const AlarmFailure& failure)> failed;
    // Mail worker, when alarms start failing (true) and when one goes again (false).
    std::function<void(bool failing)> failing;
  };

  explicit AlarmQueue(Sender sender = {});
  ~AlarmQueue() override;
  AlarmQueue(const AlarmQueue&) = delete;
  AlarmQueue& operator=(const AlarmQueue&) = delete;

  // Before the first mail.
  void SetListener(Listener listener) { m_listener = std::move(listener); }
  void SetRetryDelays(std::vector<Clock::duration> delays) { m_retryDelays = std::move(delays); }

  void Enqueue(AlarmKind kind, const std::string& address) override;
  // Mails kept from an earlier run, after those waiting now.
  void Restore(const std::vector<QueuedAlarm>& alarms);
  // Ahead of every waiting alarm, so the operator's test mail waits only for the mail in
  // flight; `done` runs on the mail worker once it has been sent or has failed.
  void EnqueueFirst(AlarmKind kind, const std::string& address, std::function<void()> done);
  // Waits for the mail being sent (which the owner's stop has cut short) and hands back every
  // alarm that has not gone, that one included, in the order they would have been tried. Any
  // thread but the worker; later calls hand back nothing.
  std::vector<QueuedAlarm> Stop();
  // For tests: until no mail runs or is due (a retry still waiting for its delay does not
  // count), or the time-out passes.
  bool WaitIdle(std::chrono::milliseconds timeout);

 private:
  struct Entry {
    QueuedAlarm alarm;
    std::function<void()> done;
    Clock::time_point due;
  };
  bool Add(Entry entry, bool front);
  void Run();
  // Lock held.
  bool TakeDue(std::unique_lock<std::mutex>& lock, Entry& entry);
  void Settle(std::unique_lock<std::mutex>& lock, Entry entry, const AlarmMailResult& result);

  Sender m_sender;
  Listener m_listener;
  std::vector<Clock::duration> m_retryDelays{std::chrono::minutes(1), std::chrono::minutes(2),
                                             std::chrono::minutes(4)};
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_idle;
  std::deque<Entry> m_entries;  // in the order they are tried; a retry waits for its due time
  std::vector<QueuedAlarm> m_left;
  bool m_running = false;
  bool m_stopped = false;
  bool m_failing = false;
  std::thread m_worker;  // last: it starts once everything it uses is there
};

}  // namespace tarnex
