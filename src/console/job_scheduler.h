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
//
// Fleet work (a group send, a group read, a restore or a message to a group) is `leased`: it
// takes each member's channel for that member's own exchanges only, so it neither holds up a
// display's own jobs nor waits for them, once those asked for earlier have begun. Two pieces
// of fleet work that share a display still run in the order asked. A search holds no display
// at all while it listens.
struct JobKeys {
  std::vector<DisplayId> displays;  // sorted, each once
  bool serialLine = false;
  // Start-up: waits for every job before it and holds every job after it.
  bool everything = false;
  bool leased = false;
  // Listening for displays: one search at a time, beside everything else.
  bool search = false;

  static JobKeys Displays(std::vector<DisplayId> ids);
  static JobKeys Display(DisplayId id) { return Displays({id}); }
  static JobKeys Leased(std::vector<DisplayId> ids);
  static JobKeys SerialLine() { return {.displays = {}, .serialLine = true}; }
  static JobKeys Everything() { return {.displays = {}, .everything = true}; }
  static JobKeys Search() { return {.displays = {}, .search = true}; }

  bool SharesDisplay(const JobKeys& other) const;
  // Whether a job with these keys, asked for earlier (and `running` or not), keeps `later`
  // from starting.
  bool Holds(const JobKeys& later, bool running) const;
};

// The operator's work that waits for displays (page reads, setters, group sends, connects of a
// selected display, the start-up connects) runs on a few workers of its own: the window never
// waits, a job never runs inside another, and each display sees its jobs in the order the
// operator asked. A job reaches the window only through queued calls.
//
// A job that waits for a silent display holds its worker, so the workers are not capped at a
// small number that a silent fleet could fill: one is added whenever a job can run and none is
// free, up to the descriptor limit (each job in flight holds a socket, so no more could run
// usefully). Workers beyond the few kept go after a while without work.
class JobScheduler {
 public:
  static constexpr size_t kKeptWorkers = 16;
  static constexpr std::chrono::seconds kSpareWorkerIdle{10};

  // Without a bound, the process's descriptor limit.
  explicit JobScheduler(size_t maxWorkers = 0);
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
  // The first waiting job that no earlier job holds up; end() when none. Lock held.
  Entries::iterator NextRunnable();
  // A spare worker that found no work for a while leaves; false for the kept ones. Lock held.
  bool Retire();
  void JoinRetired();

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_idle;
  Entries m_entries;  // in the order asked; running jobs stay until they end
  std::list<std::thread> m_workers;
  std::vector<std::thread> m_retired;  // ended, to be joined by the next Post or Stop
  size_t m_maxWorkers;
  size_t m_idleWorkers = 0;
  std::chrono::steady_clock::duration m_longestWait{};
  bool m_stopped = false;
};

}  // namespace tarnex
