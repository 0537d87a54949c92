#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "links/link_state.h"

namespace tarnex {

// The displays a job talks to. Two jobs that share a display (or both use the serial line)
// run in the order they were asked for; jobs for different displays run side by side, so a
// display that keeps one job waiting for its time-out holds up nobody else.
struct JobKeys {
  std::vector<DisplayId> displays;  // sorted, each once
  bool serialLine = false;
  // Start-up: waits for every job before it and holds every job after it.
  bool everything = false;

  static JobKeys Displays(std::vector<DisplayId> ids);
  static JobKeys Display(DisplayId id) { return Displays({id}); }
  static JobKeys SerialLine() { return {.displays = {}, .serialLine = true, .everything = false}; }
  static JobKeys Everything() { return {.displays = {}, .serialLine = false, .everything = true}; }

  bool Overlaps(const JobKeys& other) const;
};

// The operator's work that waits for displays (page reads, setters, group sends, connects of a
// selected display, the start-up connects) runs on a few workers of its own: the window never
// waits, a job never runs inside another, and each display sees its jobs in the order the
// operator asked. A job reaches the window only through queued calls.
class JobScheduler {
 public:
  explicit JobScheduler(size_t maxWorkers = 16);
  ~JobScheduler();  // Stop()
  JobScheduler(const JobScheduler&) = delete;
  JobScheduler& operator=(const JobScheduler&) = delete;

  // Queues a job; ignored once stopped. Any thread.
  void Post(JobKeys keys, std::function<void()> job);
  // Drops what has not started and waits for the running jobs, which end promptly once the
  // console's stop has cancelled their waits. Any thread but a worker.
  void Stop();
  // True while a job runs or waits. Any thread.
  bool Busy() const;
  // Waits until no job runs or waits, or the time-out passes; true when idle.
  bool WaitIdle(std::chrono::milliseconds timeout);
  // True on one of this scheduler's workers.
  bool OnWorker() const;
  // The longest time a job has waited so far between its Post and its start: how long a
  // silent display or a busy fleet has kept the operator's work queued. Any thread.
  std::chrono::steady_clock::duration LongestWait() const;

 private:
  struct Entry {
    JobKeys keys;
    std::function<void()> job;
    std::chrono::steady_clock::time_point posted;
    bool running = false;
  };
  using Entries = std::list<Entry>;

  void Work();
  // The first waiting job that no earlier job shares a display with; end() when none. Lock held.
  Entries::iterator NextRunnable();

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_idle;
  Entries m_entries;  // in the order asked; running jobs stay until they end
  std::vector<std::thread> m_workers;
  size_t m_maxWorkers;
  size_t m_idleWorkers = 0;
  std::chrono::steady_clock::duration m_longestWait{};
  bool m_stopped = false;
};

}  // namespace tarnex
