#include "monitor/group_row_feed.h"

#include <algorithm>

namespace tarnex {

GroupRowFeed::GroupRowFeed(std::function<void()> wake, Clock clock)
    : m_wake(std::move(wake)),
      m_clock(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }) {}

void GroupRowFeed::Begin(std::vector<GroupStatusRow> rows) {
  Keep([&](Batch& kept) {
    kept = Batch{};
    kept.first = std::move(rows);
  });
}

void GroupRowFeed::Read(size_t position, GroupStatusRow row) {
  Keep([&](Batch& kept) { kept.read.emplace_back(position, std::move(row)); });
}

void GroupRowFeed::Finish(std::vector<GroupStatusRow> rows) {
  Keep([&](Batch& kept) {
    kept.read.clear();
    kept.last = std::move(rows);
  });
}

// The window is called outside the lock: it may take at once, on a thread that has no UI.
void GroupRowFeed::Keep(const std::function<void(Batch&)>& keep) {
  bool wake = false;
  {
    std::lock_guard lock(m_mutex);
    keep(m_kept);
    wake = !m_awaited;
    m_awaited = true;
  }
  if (wake && m_wake) m_wake();
}

std::chrono::milliseconds GroupRowFeed::UntilTake() const {
  std::lock_guard lock(m_mutex);
  if (m_kept.last || !m_lastTake) return std::chrono::milliseconds(0);
  const auto since = m_clock() - *m_lastTake;
  if (since >= kInterval) return std::chrono::milliseconds(0);
  return std::chrono::ceil<std::chrono::milliseconds>(kInterval - since);
}

GroupRowFeed::Batch GroupRowFeed::Take() {
  std::lock_guard lock(m_mutex);
  m_awaited = false;
  m_lastTake = m_clock();
  return std::exchange(m_kept, Batch{});
}

}  // namespace tarnex
