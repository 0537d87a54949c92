#include "console/job_queue.h"

namespace tarnex {

JobQueue::JobQueue() : m_worker([this] { Run(); }) {
  m_workerId = m_worker.get_id();
}

JobQueue::~JobQueue() {
  Stop();
}

void JobQueue::Post(std::function<void()> job) {
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return;
    m_jobs.push_back(std::move(job));
  }
  m_wake.notify_one();
}

bool JobQueue::PostBounded(std::function<void()> job, std::size_t limit) {
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped || m_jobs.size() >= limit) return false;
    m_jobs.push_back(std::move(job));
  }
  m_wake.notify_one();
  return true;
}

void JobQueue::PostFront(std::function<void()> job) {
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return;
    m_jobs.push_front(std::move(job));
  }
  m_wake.notify_one();
}

void JobQueue::Stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_jobs.clear();
  }
  m_wake.notify_one();
  if (m_worker.joinable() && !OnWorker()) m_worker.join();
}

bool JobQueue::Busy() const {
  std::lock_guard lock(m_mutex);
  return m_running || !m_jobs.empty();
}

bool JobQueue::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_idle.wait_for(lock, timeout, [this] { return !m_running && m_jobs.empty(); });
}

// Worker thread.
void JobQueue::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] { return m_stopped || !m_jobs.empty(); });
    if (m_jobs.empty()) return;  // stopped
    std::function<void()> job = std::move(m_jobs.front());
    m_jobs.pop_front();
    m_running = true;
    lock.unlock();
    job();
    job = nullptr;  // whatever the job holds goes before the queue counts as idle
    lock.lock();
    m_running = false;
    if (m_jobs.empty()) m_idle.notify_all();
  }
}

}  // namespace tarnex
