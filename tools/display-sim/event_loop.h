#pragma once

#include <sys/epoll.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "display-sim/wake_signal.h"

namespace tarnex::sim {

// One thread that serves every simulated display of a fleet: their listening sockets and
// connections are non-blocking descriptors watched with epoll, and their delayed replies are
// timers. A thousand displays cost one thread rather than a thousand.
//
// Sources are registered, changed and removed on the loop thread only; other threads reach
// it through Call. Events are delivered by source id rather than by pointer, so an event that
// arrives in the same batch as the removal of its source is dropped instead of touching freed
// memory.
class EventLoop {
 public:
  using Clock = std::chrono::steady_clock;
  using SourceId = uint64_t;
  // Runs on the loop thread with the epoll events of the descriptor, or 0 when the source's
  // timer is due.
  using Callback = std::function<void(uint32_t events)>;

  EventLoop();   // starts the thread; throws std::system_error without epoll or eventfd
  ~EventLoop();  // stops and joins the thread; sources still registered are dropped
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Runs `task` on the loop thread and returns once it ran (at once on the loop thread
  // itself). Tasks run in the order they were given.
  void Call(const std::function<void()>& task);

  // ---- Loop thread only ----
  // Watches `fd` (not owned) for `events` (level-triggered), or only a timer when fd is -1.
  // Returns 0 with errno set when epoll refuses the descriptor.
  SourceId Add(int fd, uint32_t events, Callback callback);
  bool Change(SourceId id, uint32_t events);
  // Stops watching; call before closing the descriptor.
  void Remove(SourceId id);
  // Calls the source back with 0 once `due` has passed. Earlier requests stay in force.
  void WakeAt(SourceId id, Clock::time_point due);

 private:
  struct Source {
    int fd;
    Callback callback;
  };
  using Timer = std::pair<Clock::time_point, SourceId>;

  void Run();
  void RunTasks();
  void Dispatch(const epoll_event& event);
  void FireTimers();
  int WaitMs() const;

  int epoll_;
  WakeSignal wake_;
  std::unordered_map<SourceId, Source> sources_;  // loop thread only
  std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
  SourceId lastId_ = 0;

  std::mutex tasksMutex_;
  std::condition_variable tasksDone_;
  std::deque<std::pair<uint64_t, std::function<void()>>> tasks_;
  uint64_t posted_ = 0;
  uint64_t completed_ = 0;
  bool stop_ = false;
  bool stopped_ = false;

  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace tarnex::sim
