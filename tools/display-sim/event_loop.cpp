#include "display-sim/event_loop.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace tarnex::sim {
namespace {

// The id of the wake signal in epoll; sources count from 1.
constexpr EventLoop::SourceId kWakeId = 0;
// A safety net: the loop looks at its tasks and timers at least this often.
constexpr int kMaxWaitMs = 1000;
constexpr size_t kEventsPerWait = 256;

int CreateEpoll() {
  const int fd = ::epoll_create1(EPOLL_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "display-sim: epoll");
  return fd;
}

}  // namespace

EventLoop::EventLoop() : epoll_(CreateEpoll()) {
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.u64 = kWakeId;
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_.Fd(), &wake) != 0) {
    const int error = errno;
    ::close(epoll_);
    throw std::system_error(error, std::generic_category(), "display-sim: epoll");
  }
  try {
    thread_ = std::thread(&EventLoop::Run, this);
  } catch (...) {
    ::close(epoll_);
    throw;
  }
}

EventLoop::~EventLoop() {
  {
    std::lock_guard lock(tasksMutex_);
    stop_ = true;
  }
  wake_.Signal();
  thread_.join();
  ::close(epoll_);
}

void EventLoop::Call(const std::function<void()>& task) {
  if (std::this_thread::get_id() == thread_.get_id()) {
    task();
    return;
  }
  std::unique_lock lock(tasksMutex_);
  if (stopped_) {
    lock.unlock();
    task();
    return;
  }
  const uint64_t ticket = ++posted_;
  tasks_.emplace_back(ticket, task);
  wake_.Signal();
  // The loop thread runs tasks before every wait and never blocks in a callback, so this
  // wait is as short as one round of the loop.
  tasksDone_.wait(lock, [&] { return completed_ >= ticket; });
}

EventLoop::SourceId EventLoop::Add(int fd, uint32_t events, Callback callback) {
  const SourceId id = ++lastId_;
  if (fd >= 0) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = id;
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) return 0;
  }
  sources_.emplace(id, Source{fd, std::move(callback)});
  return id;
}

bool EventLoop::Change(SourceId id, uint32_t events) {
  const auto found = sources_.find(id);
  if (found == sources_.end() || found->second.fd < 0) return false;
  epoll_event event{};
  event.events = events;
  event.data.u64 = id;
  return ::epoll_ctl(epoll_, EPOLL_CTL_MOD, found->second.fd, &event) == 0;
}

void EventLoop::Remove(SourceId id) {
  const auto found = sources_.find(id);
  if (found == sources_.end()) return;
  if (found->second.fd >= 0) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, found->second.fd, nullptr);
  sources_.erase(found);
}

void EventLoop::WakeAt(SourceId id, Clock::time_point due) {
  timers_.emplace(due, id);
}

void EventLoop::Run() {
  std::array<epoll_event, kEventsPerWait> events{};
  while (true) {
    {
      std::lock_guard lock(tasksMutex_);
      if (stop_) break;
    }
    RunTasks();
    const int count = ::epoll_wait(epoll_, events.data(), events.size(), WaitMs());
    if (count < 0 && errno != EINTR) {
      std::fprintf(stderr, "display-sim: epoll_wait failed: %s\n", std::strerror(errno));
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      continue;
    }
    for (int i = 0; i < count; ++i) Dispatch(events[static_cast<size_t>(i)]);
    FireTimers();
  }
  {
    std::lock_guard lock(tasksMutex_);
    stopped_ = true;  // from now on Call runs its task itself
  }
  RunTasks();
  sources_.clear();
}

void EventLoop::RunTasks() {
  std::deque<std::pair<uint64_t, std::function<void()>>> batch;
  {
    std::lock_guard lock(tasksMutex_);
    batch.swap(tasks_);
  }
  if (batch.empty()) return;
  for (auto& [ticket, task] : batch) task();
  {
    std::lock_guard lock(tasksMutex_);
    completed_ = batch.back().first;
  }
  tasksDone_.notify_all();
}

void EventLoop::Dispatch(const epoll_event& event) {
  if (event.data.u64 == kWakeId) {
    wake_.Drain();
    return;
  }
  const auto found = sources_.find(event.data.u64);
  if (found == sources_.end()) return;  // removed earlier in this batch
  // A copy: the callback may remove its own source.
  const Callback callback = found->second.callback;
  callback(event.events);
}

void EventLoop::FireTimers() {
  const auto now = Clock::now();
  while (!timers_.empty() && timers_.top().first <= now) {
    const SourceId id = timers_.top().second;
    timers_.pop();
    const auto found = sources_.find(id);
    if (found == sources_.end()) continue;
    const Callback callback = found->second.callback;
    callback(0);
  }
}

// Until the earliest timer; due timers were fired just before.
int EventLoop::WaitMs() const {
  if (timers_.empty()) return kMaxWaitMs;
  const auto left = timers_.top().first - Clock::now();
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::clamp<long long>(ms, 0, kMaxWaitMs));
}

}  // namespace tarnex::sim
