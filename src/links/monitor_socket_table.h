#pragma once

#include <array>
#include <atomic>

#include "links/link_state.h"
#include "platform/socket_api.h"

namespace tarnex {

// One TCP socket per display index. Entries are atomic so that a reconnect worker can publish
// a new socket while another thread reads the table; who may close an entry is the caller's
// lock discipline, not the table's.
class MonitorSocketTable {
 public:
  MonitorSocketTable() {
    for (auto& entry : entries_) entry.store(kNoSocket, std::memory_order_relaxed);
  }

  int Get(int index) const {
    return LinkState::ValidIndex(index) ? entries_[index].load(std::memory_order_acquire)
                                        : kNoSocket;
  }
  void Set(int index, int fd) {
    if (LinkState::ValidIndex(index)) entries_[index].store(fd, std::memory_order_release);
  }
  // Takes the socket out of the table; the caller closes it.
  int Take(int index) {
    return LinkState::ValidIndex(index) ? entries_[index].exchange(kNoSocket) : kNoSocket;
  }

 private:
  std::array<std::atomic<int>, kMaxDisplays> entries_;
};

}  // namespace tarnex
