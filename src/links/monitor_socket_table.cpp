#include "links/monitor_socket_table.h"

#include <utility>

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
  std::unique_lock lock(channel.entry);
  channel.turnFree.wait(lock, [&] { return !channel.taken; });
  channel.taken = true;
  lease.m_table = this;
  lease.m_index = index;
  lease.m_socket = channel.socket;
  return lease;
}

void MonitorSocketTable::ReleaseTurn(int index) {
  Channel& channel = m_channels[static_cast<size_t>(index)];
  {
    std::lock_guard lock(channel.entry);
    channel.taken = false;
  }
  channel.turnFree.notify_all();
}

MonitorSocketTable::Lease::Lease(Lease&& other) noexcept
    : m_table(std::exchange(other.m_table, nullptr)),
      m_index(std::exchange(other.m_index, -1)),
      m_socket(std::move(other.m_socket)) {}

MonitorSocketTable::Lease& MonitorSocketTable::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    Release();
    m_table = std::exchange(other.m_table, nullptr);
    m_index = std::exchange(other.m_index, -1);
    m_socket = std::move(other.m_socket);
  }
  return *this;
}

MonitorSocketTable::Lease::~Lease() {
  Release();
}

// The socket goes first: its descriptor closes here if the link was closed meanwhile, before
// the next exchange may take the turn.
void MonitorSocketTable::Lease::Release() {
  m_socket.reset();
  if (m_table != nullptr) m_table->ReleaseTurn(m_index);
  m_table = nullptr;
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
