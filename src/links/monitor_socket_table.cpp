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

std::shared_ptr<MonitorSocketTable::Channel> MonitorSocketTable::ChannelOf(DisplayId id) {
  std::lock_guard lock(m_mutex);
  std::shared_ptr<Channel>& channel = m_channels[id];
  if (!channel) channel = std::make_shared<Channel>();
  return channel;
}

std::shared_ptr<MonitorSocketTable::Channel> MonitorSocketTable::FindChannel(DisplayId id) const {
  std::lock_guard lock(m_mutex);
  const auto found = m_channels.find(id);
  return found == m_channels.end() ? nullptr : found->second;
}

MonitorSocketTable::Lease MonitorSocketTable::Acquire(DisplayId id) {
  Lease lease;
  if (id == kNoDisplay) return lease;
  std::shared_ptr<Channel> channel = ChannelOf(id);
  std::unique_lock lock(channel->entry);
  ++channel->waiting;
  channel->turnFree.wait(lock, [&] { return !channel->taken; });
  --channel->waiting;
  channel->taken = true;
  lease.m_socket = channel->socket;
  lease.m_channel = std::move(channel);
  return lease;
}

MonitorSocketTable::Lease MonitorSocketTable::TryAcquire(DisplayId id) {
  Lease lease;
  if (id == kNoDisplay) return lease;
  std::shared_ptr<Channel> channel = ChannelOf(id);
  std::lock_guard lock(channel->entry);
  if (channel->taken) return lease;
  channel->taken = true;
  lease.m_socket = channel->socket;
  lease.m_channel = std::move(channel);
  return lease;
}

bool MonitorSocketTable::Lease::Wanted() const {
  if (!m_channel) return false;
  std::lock_guard lock(m_channel->entry);
  return m_channel->waiting > 0;
}

MonitorSocketTable::Lease::Lease(Lease&& other) noexcept
    : m_channel(std::move(other.m_channel)), m_socket(std::move(other.m_socket)) {}

MonitorSocketTable::Lease& MonitorSocketTable::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    Release();
    m_channel = std::move(other.m_channel);
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
  if (!m_channel) return;
  {
    std::lock_guard lock(m_channel->entry);
    m_channel->taken = false;
  }
  m_channel->turnFree.notify_all();
  m_channel.reset();
}

int MonitorSocketTable::Get(DisplayId id) const {
  const std::shared_ptr<Channel> channel = FindChannel(id);
  if (!channel) return kNoSocket;
  std::lock_guard lock(channel->entry);
  return channel->socket ? *channel->socket : kNoSocket;
}

void MonitorSocketTable::Set(DisplayId id, int fd) {
  if (id == kNoDisplay) {
    if (fd != kNoSocket) m_api.Close(fd);
    return;
  }
  std::shared_ptr<Channel> channel = fd == kNoSocket ? FindChannel(id) : ChannelOf(id);
  if (!channel) return;
  // The replaced socket is released outside the entry lock; its descriptor closes when no
  // exchange holds it any more.
  std::shared_ptr<const int> replaced = Wrap(fd);
  {
    std::lock_guard lock(channel->entry);
    channel->socket.swap(replaced);
  }
}

void MonitorSocketTable::Forget(DisplayId id) {
  Close(id);
  std::lock_guard lock(m_mutex);
  m_channels.erase(id);
}

}  // namespace tarnex
