#include "monitor/alarm_queue.h"

#include <algorithm>

#include "platform/trace.h"

namespace tarnex {

AlarmQueue::AlarmQueue(Sender sender) : m_sender(std::move(sender)), m_worker([this] { Run(); }) {}

AlarmQueue::~AlarmQueue() {
  Stop();
}

bool AlarmQueue::Add(Entry entry, bool front) {
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped || (!front && m_entries.size() >= kMaxWaiting)) return false;
    if (front) {
      m_entries.push_front(std::move(entry));
    } else {
      m_entries.push_back(std::move(entry));
    }
  }
  m_wake.notify_one();
  return true;
}

void AlarmQueue::Enqueue(AlarmKind kind, const std::string& address) {
  if (!Add({{kind, address, 0, std::time(nullptr)}, {}, Clock::now()}, false)) {
    Trace("alarm mail %d for %s dropped: too many mails wait", static_cast<int>(kind),
          address.c_str());
  }
}

void AlarmQueue::Restore(const std::vector<QueuedAlarm>& alarms) {
  for (const QueuedAlarm& alarm : alarms) {
    if (!Add({alarm, {}, Clock::now()}, false)) {
      Trace("kept alarm mail for %s dropped: too many mails wait", alarm.address.c_str());
    }
  }
}

void AlarmQueue::EnqueueFirst(AlarmKind kind, const std::string& address,
                              std::function<void()> done) {
  Add({{kind, address, 0, std::time(nullptr)}, std::move(done), Clock::now()}, true);
}

std::vector<QueuedAlarm> AlarmQueue::Stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
  }
  m_wake.notify_all();
  if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id()) m_worker.join();
  std::lock_guard lock(m_mutex);
  std::vector<QueuedAlarm> left = std::move(m_left);
  m_left.clear();
  for (const Entry& entry : m_entries) {
    if (entry.alarm.kind != AlarmKind::kTest) left.push_back(entry.alarm);
  }
  m_entries.clear();
  return left;
}

bool AlarmQueue::WaitIdle(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::unique_lock lock(m_mutex);
  for (;;) {
    const auto now = Clock::now();
    const bool due = std::any_of(m_entries.begin(), m_entries.end(),
                                 [now](const Entry& entry) { return entry.due <= now; });
    if (!m_running && !due) return true;
    if (now >= deadline) return false;
    m_idle.wait_for(lock, std::chrono::milliseconds(10));
  }
}

// Mail worker. The first entry whose time has come; false once stopped.
bool AlarmQueue::TakeDue(std::unique_lock<std::mutex>& lock, Entry& entry) {
  for (;;) {
    if (m_stopped) return false;
    const auto now = Clock::now();
    auto next = m_entries.end();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
      if (it->due <= now) {
        next = it;
        break;
      }
      if (next == m_entries.end() || it->due < next->due) next = it;
    }
    if (next == m_entries.end()) {
      m_wake.wait(lock);
    } else if (next->due > now) {
      m_wake.wait_until(lock, next->due);
    } else {
      entry = std::move(*next);
      m_entries.erase(next);
      return true;
    }
  }
}

// Mail worker.
void AlarmQueue::Run() {
  std::unique_lock lock(m_mutex);
  Entry entry;
  while (TakeDue(lock, entry)) {
    m_running = true;
    lock.unlock();
    const AlarmMailResult result =
        m_sender ? m_sender(entry.alarm.kind, entry.alarm.address)
                 : AlarmMailResult{.sent = false, .stopped = false, .why = {}, .unwanted = true};
    lock.lock();
    m_running = false;
    Settle(lock, std::move(entry), result);
    entry = {};
    m_idle.notify_all();
  }
}

// Mail worker, lock held; the listener and `done` are called without it.
void AlarmQueue::Settle(std::unique_lock<std::mutex>& lock, Entry entry,
                        const AlarmMailResult& result) {
  ++entry.alarm.attempts;
  const bool test = entry.alarm.kind == AlarmKind::kTest;
  const bool wasFailing = m_failing;
  const bool failed = !result.sent && !result.stopped && !result.unwanted && !test;
  const bool givenUp = failed && entry.alarm.attempts > static_cast<int>(m_retryDelays.size());
  if (result.stopped && !test) {
    --entry.alarm.attempts;  // a try the close cut short is no try
    m_left.push_back(entry.alarm);
  } else if (failed && !givenUp) {
    Entry retry{entry.alarm, {}, Clock::now() + m_retryDelays[entry.alarm.attempts - 1]};
    m_entries.push_back(std::move(retry));
  }
  if (!test && !result.stopped && !result.unwanted) m_failing = failed;
  const bool failingChanged = m_failing != wasFailing;
  const bool failing = m_failing;
  lock.unlock();
  if (failed) {
    Trace("alarm mail %d for %s failed: %s", static_cast<int>(entry.alarm.kind),
          entry.alarm.address.c_str(), result.why.c_str());
    if (m_listener.failed) m_listener.failed({entry.alarm, result.why, givenUp});
  }
  if (failingChanged && m_listener.failing) m_listener.failing(failing);
  if (entry.done) entry.done();
  lock.lock();
}

}  // namespace tarnex
