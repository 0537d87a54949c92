#include "links/monitor_socket_table.h"

namespace tarnex {

std::shared_ptr<const int> MonitorSocketTable::Wrap(int fd) {
  if (fd == kNoSocket) return nullptr;
  SocketApi* api = &m_api;
  return std::shared_ptr<const int>(new int(fd), [api](const int* owned) {
    api->Close(*owned);
    delete owned;
  });
}

std::shared_ptr<const int> MonitorSocketTable::Exchange(int index,
                                                        std::shared_ptr<const int> socket) {
  Channel& channel = m_channels[static_cast<size_t>(index)];
  std::lock_guard lock(channel.entry);
  channel.socket.swap(socket);
  return socket;
}

MonitorSocketTable::Lease MonitorSocketTable::Acquire(int index) {
  Lease lease;
  if (!LinkState::ValidIndex(index)) return lease;
  Channel& channel = m_channels[static_cast<size_t>(index)];
  lease.m_turn = std::unique_lock(channel.turn);
  std::lock_guard lock(channel.entry);
  lease.m_socket = channel.socket;
  return lease;
}

int MonitorSocketTable::Get(int index) const {
  if (!LinkState::ValidIndex(index)) return kNoSocket;
  const Channel& channel = m_channels[static_cast<size_t>(index)];
  std::lock_guard lock(channel.entry);
  return channel.socket ? *channel.socket : kNoSocket;
}

void MonitorSocketTable::Set(int index, int fd) {
  if (!LinkState::ValidIndex(index)) {
    if (fd != kNoSocket) m_api.Close(fd);
    return;
  }
  // The replaced socket is released outside the entry lock; its descriptor closes when no
  // exchange holds it any more.
  std::shared_ptr<const int> replaced = Exchange(index, Wrap(fd));
}

void MonitorSocketTable::Move(int from, int to) {
  if (!LinkState::ValidIndex(from) || !LinkState::ValidIndex(to) || from == to) return;
  std::shared_ptr<const int> socket = Exchange(from, nullptr);
  std::shared_ptr<const int> replaced = Exchange(to, std::move(socket));
}

}  // namespace tarnex
