#include "monitor/alarm_queue.h"

#include "platform/trace.h"

namespace tarnex {

AlarmQueue::AlarmQueue(Sender sender) : m_sender(std::move(sender)), m_worker([this] { Run(); }) {}

AlarmQueue::~AlarmQueue() {
  Stop();
}

void AlarmQueue::Enqueue(AlarmKind kind, const std::string& address) {
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return;
    m_alarms.push_back({kind, address});
  }
  m_wake.notify_one();
}

void AlarmQueue::Stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_alarms.clear();
  }
  m_wake.notify_one();
  if (m_worker.joinable()) m_worker.join();
}

// Mail worker.
void AlarmQueue::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] { return m_stopped || !m_alarms.empty(); });
    if (m_alarms.empty()) return;
    const Alarm alarm = std::move(m_alarms.front());
    m_alarms.pop_front();
    lock.unlock();
    if (m_sender) {
      m_sender(alarm.kind, alarm.address);
    } else {
      Trace("alarm mail %d for %s: no mail sender", static_cast<int>(alarm.kind),
            alarm.address.c_str());
    }
    lock.lock();
  }
}

}  // namespace tarnex
