#include "console/job_scheduler.h"

#include <algorithm>

namespace tarnex {
namespace {

thread_local const JobScheduler* t_scheduler = nullptr;

}  // namespace

JobKeys JobKeys::Displays(std::vector<DisplayId> ids) {
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return {.displays = std::move(ids), .serialLine = false, .everything = false};
}

bool JobKeys::Overlaps(const JobKeys& other) const {
  if (everything || other.everything) return true;
  if (serialLine && other.serialLine) return true;
  auto a = displays.begin();
  auto b = other.displays.begin();
  while (a != displays.end() && b != other.displays.end()) {
    if (*a == *b) return true;
    if (*a < *b) {
      ++a;
    } else {
      ++b;
    }
  }
  return false;
}

JobScheduler::JobScheduler(size_t maxWorkers) : m_maxWorkers(std::max<size_t>(1, maxWorkers)) {}

JobScheduler::~JobScheduler() {
  Stop();
}

void JobScheduler::Post(JobKeys keys, std::function<void()> job) {
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return;
    m_entries.push_back({std::move(keys), std::move(job), std::chrono::steady_clock::now()});
    // A worker is added only when none is free, up to the bound: a fleet of silent displays
    // cannot make the console start a thread per display.
    if (m_idleWorkers == 0 && m_workers.size() < m_maxWorkers) {
      m_workers.emplace_back([this] { Work(); });
    }
  }
  m_wake.notify_all();
}

void JobScheduler::Stop() {
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_entries.remove_if([](const Entry& entry) { return !entry.running; });
    workers.swap(m_workers);
  }
  // The jobs dropped may have been all there was: whoever waits for idle must hear it now, not
  // at its time-out.
  m_idle.notify_all();
  m_wake.notify_all();
  for (std::thread& worker : workers) {
    if (worker.get_id() == std::this_thread::get_id()) {
      worker.detach();  // a job that closes the console cannot wait for itself
    } else if (worker.joinable()) {
      worker.join();
    }
  }
}

bool JobScheduler::Busy() const {
  std::lock_guard lock(m_mutex);
  return !m_entries.empty();
}

bool JobScheduler::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_idle.wait_for(lock, timeout, [this] { return m_entries.empty(); });
}

std::chrono::steady_clock::duration JobScheduler::LongestWait() const {
  std::lock_guard lock(m_mutex);
  return m_longestWait;
}

bool JobScheduler::OnWorker() const {
  return t_scheduler == this;
}

JobScheduler::Entries::iterator JobScheduler::NextRunnable() {
  for (auto candidate = m_entries.begin(); candidate != m_entries.end(); ++candidate) {
    if (candidate->running) continue;
    bool blocked = false;
    for (auto earlier = m_entries.begin(); earlier != candidate && !blocked; ++earlier) {
      blocked = earlier->keys.Overlaps(candidate->keys);
    }
    if (!blocked) return candidate;
  }
  return m_entries.end();
}

// Worker thread.
void JobScheduler::Work() {
  t_scheduler = this;
  std::unique_lock lock(m_mutex);
  for (;;) {
    auto next = m_entries.end();
    ++m_idleWorkers;
    m_wake.wait(lock, [&] {
      if (m_stopped) return true;
      next = NextRunnable();
      return next != m_entries.end();
    });
    --m_idleWorkers;
    if (m_stopped) return;
    next->running = true;
    m_longestWait = std::max(m_longestWait, std::chrono::steady_clock::now() - next->posted);
    std::function<void()> job = std::move(next->job);
    lock.unlock();
    job();
    job = nullptr;  // whatever the job holds goes before the job counts as over
    lock.lock();
    m_entries.erase(next);
    if (m_entries.empty()) m_idle.notify_all();
    // A job that ended may free one that shared its display.
    m_wake.notify_all();
  }
}

}  // namespace tarnex
