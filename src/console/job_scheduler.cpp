#include "console/job_scheduler.h"

#include <algorithm>

#include "platform/open_file_limit.h"

namespace tarnex {
namespace {

thread_local const JobScheduler* t_scheduler = nullptr;

}  // namespace

JobKeys JobKeys::Displays(std::vector<DisplayId> ids) {
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return {.displays = std::move(ids), .serialLine = false, .everything = false};
}

JobKeys JobKeys::Leased(std::vector<DisplayId> ids) {
  JobKeys keys = Displays(std::move(ids));
  keys.leased = true;
  return keys;
}

bool JobKeys::Holds(const JobKeys& later, bool running) const {
  if (everything || later.everything) return true;
  if ((serialLine && later.serialLine) || (search && later.search)) return true;
  // A display's own job asked for before fleet work goes first on that display; once it has
  // begun, the channel's turn decides each exchange.
  if (leased != later.leased) return !leased && !running && SharesDisplay(later);
  return SharesDisplay(later);
}

bool JobKeys::SharesDisplay(const JobKeys& other) const {
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

namespace {

size_t DescriptorBound() {
  const long limit = OpenFileLimit();
  return limit > 0 ? static_cast<size_t>(limit) : JobScheduler::kKeptWorkers;
}

}  // namespace

JobScheduler::JobScheduler(size_t maxWorkers)
    : m_maxWorkers(std::max<size_t>(1, maxWorkers == 0 ? DescriptorBound() : maxWorkers)) {}

JobScheduler::~JobScheduler() {
  Stop();
}

void JobScheduler::Post(JobKeys keys, std::function<void()> job) {
  JoinRetired();
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return;
    m_entries.push_back({std::move(keys), std::move(job), std::chrono::steady_clock::now()});
    // A worker is added only when none is free: jobs held up behind others need none.
    if (m_idleWorkers == 0 && m_workers.size() < m_maxWorkers) {
      m_workers.emplace_back([this] { Work(); });
    }
  }
  m_wake.notify_all();
}

void JobScheduler::JoinRetired() {
  std::vector<std::thread> retired;
  {
    std::lock_guard lock(m_mutex);
    retired.swap(m_retired);
  }
  for (std::thread& worker : retired) worker.join();
}

bool JobScheduler::Retire() {
  if (m_workers.size() <= kKeptWorkers) return false;
  const auto self = std::find_if(m_workers.begin(), m_workers.end(), [](const std::thread& worker) {
    return worker.get_id() == std::this_thread::get_id();
  });
  if (self == m_workers.end()) return false;
  m_retired.push_back(std::move(*self));
  m_workers.erase(self);
  return true;
}

void JobScheduler::Stop() {
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_entries.remove_if([](const Entry& entry) { return !entry.running; });
    for (std::thread& worker : m_workers) workers.push_back(std::move(worker));
    for (std::thread& worker : m_retired) workers.push_back(std::move(worker));
    m_workers.clear();
    m_retired.clear();
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
      blocked = earlier->keys.Holds(candidate->keys, earlier->running);
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
    const bool woken = m_wake.wait_for(lock, kSpareWorkerIdle, [&] {
      if (m_stopped) return true;
      next = NextRunnable();
      return next != m_entries.end();
    });
    --m_idleWorkers;
    if (m_stopped) return;
    if (!woken) {
      if (Retire()) return;
      continue;
    }
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
