#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tarnex {

// The operator's work that waits for displays (page refreshes, setters, group sends, connects
// of a selected display, the start-up connects) runs here, one job after another in the order
// asked, on one worker thread: the window never waits, and a second action never runs inside
// the first. A job reaches the window only through queued calls.
class JobQueue {
 public:
  JobQueue();
  ~JobQueue();  // Stop()
  JobQueue(const JobQueue&) = delete;
  JobQueue& operator=(const JobQueue&) = delete;

  // Queues a job; ignored once stopped. Any thread.
  void Post(std::function<void()> job);
  // Queues a job unless `limit` jobs already wait; false when it was not queued. Any thread.
  bool PostBounded(std::function<void()> job, std::size_t limit);
  // Queues a job ahead of all that wait: it runs once the running job ends. Any thread.
  void PostFront(std::function<void()> job);
  // Drops what has not started and waits for the running job, which ends promptly once the
  // console's stop has cancelled its waits. Any thread but the worker.
  void Stop();
  // True while a job runs or waits. Any thread.
  bool Busy() const;
  // Waits until no job runs or waits, or the time-out passes; true when idle. For tests and
  // the close.
  bool WaitIdle(std::chrono::milliseconds timeout);
  // True on the worker thread.
  bool OnWorker() const { return std::this_thread::get_id() == m_workerId; }

 private:
  void Run();

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_idle;
  std::deque<std::function<void()>> m_jobs;
  bool m_running = false;
  bool m_stopped = false;
  std::thread m_worker;
  std::thread::id m_workerId;
};

}  // namespace tarnex
