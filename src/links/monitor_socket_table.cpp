#include "links/monitor_socket_table.h"

#include <utility>

namespace tarnex {

// The link's descriptor closes with the last holder, whichever session it is by then.
std::shared_ptr<LinkSocket> MonitorSocketTable::Wrap(LinkSocket link) {
  SocketApi* api = &m_api;
  return std::shared_ptr<LinkSocket>(new LinkSocket(std::move(link)), [api](LinkSocket* owned) {
    if (owned->fd != kNoSocket) api->Close(owned->fd);
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
  // A PJLink session's descriptor is its exchange's to change: it is not read from here.
  if (!channel->socket || channel->socket->Pjlink()) return kNoSocket;
  return channel->socket->fd;
}

bool MonitorSocketTable::Has(DisplayId id) const {
  const std::shared_ptr<Channel> channel = FindChannel(id);
  if (!channel) return false;
  std::lock_guard lock(channel->entry);
  return channel->socket != nullptr;
}

void MonitorSocketTable::Set(DisplayId id, int fd) {
  if (id == kNoDisplay) {
    if (fd != kNoSocket) m_api.Close(fd);
    return;
  }
  Place(id, fd == kNoSocket ? nullptr : Wrap({.fd = fd, .kind = LinkKind::kNative, .pjlink = {}}));
}

void MonitorSocketTable::SetPjlink(DisplayId id, int fd, PjlinkSession session) {
  if (id == kNoDisplay) {
    if (fd != kNoSocket) m_api.Close(fd);
    return;
  }
  session.lastActivity = std::chrono::steady_clock::now();
  Place(id, Wrap({.fd = fd, .kind = LinkKind::kPjlink, .pjlink = std::move(session)}));
}

void MonitorSocketTable::Place(DisplayId id, std::shared_ptr<LinkSocket> link) {
  std::shared_ptr<Channel> channel = link ? ChannelOf(id) : FindChannel(id);
  if (!channel) return;
  // The replaced socket is released outside the entry lock; its descriptor closes when no
  // exchange holds it any more.
  std::shared_ptr<LinkSocket> replaced = std::move(link);
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
