#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "monitor/group_status.h"

namespace tarnex {

// The rows a group read hands over as its members end, kept for the window, which takes them
// at most once per interval: a group of a thousand that answers within a second repaints the
// list ten times, not a thousand. The read's own rows, at its end, are taken at once.
//
// Threads: Begin, Read and Finish come from the reading worker, which calls `wake` at most once
// between two takes, to ask the window to come; UntilTake and Take come from the UI thread.
class GroupRowFeed : public GroupRowSink {
 public:
  static constexpr std::chrono::milliseconds kInterval{100};
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit GroupRowFeed(std::function<void()> wake, Clock clock = {});

  void Begin(std::vector<GroupStatusRow> rows) override;
  void Read(size_t position, GroupStatusRow row) override;
  // The rows the read returned, every member's: they supersede what was read before them.
  void Finish(std::vector<GroupStatusRow> rows);

  // What the window applies in one update, in this order.
  struct Batch {
    std::optional<std::vector<GroupStatusRow>> first;     // Begin's rows
    std::vector<std::pair<size_t, GroupStatusRow>> read;  // by member position, as they ended
    std::optional<std::vector<GroupStatusRow>> last;      // Finish's rows
  };
  // How long the window waits before it takes; zero when it may take now.
  std::chrono::milliseconds UntilTake() const;
  Batch Take();

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  // Keeps what `keep` adds under the lock, and wakes the window unless a take is awaited.
  void Keep(const std::function<void(Batch&)>& keep);

  std::function<void()> m_wake;
  Clock m_clock;
  mutable std::mutex m_mutex;
  Batch m_kept;
  bool m_awaited = false;  // the window was woken and has not taken yet
  std::optional<TimePoint> m_lastTake;
};

}  // namespace tarnex
