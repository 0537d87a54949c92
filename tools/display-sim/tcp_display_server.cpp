#include "display-sim/tcp_display_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "display-sim/loopback_address.h"
#include "display-sim/tcp_listener.h"

namespace tarnex::sim {
namespace {

constexpr size_t kMaxClients = 64;
constexpr int kMaxAcceptsPerWake = 16;
// Out of descriptors, a listener stops being watched for this long rather than being
// reported readable again at once, which would spin the loop.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

std::system_error ListenError(int error, const std::string& address, uint16_t port) {
  return std::system_error(error, std::generic_category(),
                           "display-sim: cannot listen on " + address + ":" + std::to_string(port));
}

bool OutOfResources(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM ||
         error == ENOSPC;
}

}  // namespace

TcpDisplayServer::TcpDisplayServer(EventLoop& loop, std::string address, uint16_t port,
                                   LineHandler handler, Reach reach, ConnectionRules rules)
    : loop_(loop),
      address_(std::move(address)),
      port_(port),
      handler_(std::move(handler)),
      rules_(std::move(rules)),
      reach_(reach) {
  if (!IsLoopbackAddress(address_)) throw ListenError(EADDRNOTAVAIL, address_, port);
  int listener = -1;
  std::unique_ptr<UnreachableListener> unreachable;
  if (reach == Reach::kAnswering) {
    listener = OpenListener(address_, port);
    if (listener < 0) throw ListenError(errno, address_, port);
    port_ = BoundPort(listener);
  } else if (reach == Reach::kUnreachable) {
    unreachable = std::make_unique<UnreachableListener>(address_, port);
    port_ = unreachable->Port();
  }
  int error = 0;
  loop_.Call([&] {
    timerId_ = loop_.Add(-1, 0, [this](uint32_t) { OnTimer(); });
    unreachable_ = std::move(unreachable);
    if (listener >= 0 && !Watch(listener)) error = errno;
  });
  if (error != 0) {
    loop_.Call([this] { loop_.Remove(timerId_); });
    throw ListenError(error, address_, port);
  }
}

TcpDisplayServer::~TcpDisplayServer() {
  loop_.Call([this] {
    for (const Client& client : clients_) loop_.Remove(client.id);
    clients_.clear();
    StopListening();
    unreachable_.reset();
    loop_.Remove(timerId_);
  });
}

bool TcpDisplayServer::SetReach(Reach reach) {
  std::lock_guard lock(reachMutex_);
  if (reach == reach_) return true;
  if (reach_ == Reach::kUnreachable && reach == Reach::kAnswering) {
    // The listener becomes an ordinary one, so a connect retried meanwhile is not refused.
    bool ok = false;
    int error = 0;
    loop_.Call([&] {
      const int fd = unreachable_->Release();
      unreachable_.reset();
      ok = Watch(fd);
      error = errno;
    });
    reach_ = ok ? Reach::kAnswering : Reach::kRefusing;
    if (!ok) ReportListenFailure(error);
    return ok;
  }
  SwitchOff();
  if (reach == Reach::kAnswering) return Answer();
  if (reach == Reach::kUnreachable) return BeUnreachable();
  return true;
}

// No listener and no connection: the open connections die with the display.
void TcpDisplayServer::SwitchOff() {
  loop_.Call([this] {
    for (const Client& client : clients_) loop_.Remove(client.id);
    clients_.clear();
    StopListening();
    unreachable_.reset();
  });
  reach_ = Reach::kRefusing;
}

void TcpDisplayServer::ReportListenFailure(int error) const {
  std::fprintf(stderr, "display-sim: cannot listen again on %s:%u: %s\n", address_.c_str(),
               static_cast<unsigned>(port_.load()), std::strerror(error));
}

// From refusing; reachMutex_ held.
bool TcpDisplayServer::Answer() {
  const int fd = OpenListener(address_, port_.load());
  if (fd < 0) {
    ReportListenFailure(errno);
    return false;
  }
  port_ = BoundPort(fd);
  bool ok = false;
  int error = 0;
  loop_.Call([&] {
    ok = Watch(fd);
    error = errno;
  });
  if (!ok) ReportListenFailure(error);
  if (ok) reach_ = Reach::kAnswering;
  return ok;
}

// From refusing; reachMutex_ held.
bool TcpDisplayServer::BeUnreachable() {
  std::unique_ptr<UnreachableListener> unreachable;
  try {
    unreachable = std::make_unique<UnreachableListener>(address_, port_.load());
  } catch (const std::system_error& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return false;
  }
  loop_.Call([&] { unreachable_ = std::move(unreachable); });
  reach_ = Reach::kUnreachable;
  return true;
}

// Takes the listening descriptor; false (and closed) when the loop cannot watch it.
bool TcpDisplayServer::Watch(int listener) {
  listener_ = listener;
  listenerId_ = loop_.Add(listener, EPOLLIN, [this](uint32_t) { OnListener(); });
  if (listenerId_ != 0) return true;
  const int error = errno;
  ::close(listener_);
  listener_ = -1;
  errno = error;
  return false;
}

void TcpDisplayServer::StopListening() {
  loop_.Remove(listenerId_);
  listenerId_ = 0;
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
  resumeAccepting_.reset();
}

void TcpDisplayServer::OnListener() {
  AcceptPending();
  Service();  // greetings go out at once
}

void TcpDisplayServer::AcceptPending() {
  for (int i = 0; i < kMaxAcceptsPerWake && listener_ >= 0; ++i) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (OutOfResources(errno)) PauseAccepting(errno);
      return;
    }
    acceptFailureShown_ = false;
    ++connections_;
    if (clients_.size() >= kMaxClients) {
      ::close(fd);
      continue;
    }
    auto connection = std::make_unique<ClientConnection>(fd, rules_.lineEnd, rules_.maxLine);
    Session session;
    if (rules_.open) session = rules_.open();
    connection->Greet(session.greeting, Clock::now());
    const ClientConnection* raw = connection.get();
    const auto id = loop_.Add(fd, EPOLLIN, [this, raw](uint32_t events) { OnClient(raw, events); });
    if (id == 0) {
      PauseAccepting(errno);
      return;  // the connection closes with it
    }
    clients_.push_back({std::move(connection), id, EPOLLIN, std::move(session.handler)});
  }
}

// The connections that wait in the queue are taken once descriptors are free again.
void TcpDisplayServer::PauseAccepting(int error) {
  if (!acceptFailureShown_) {
    std::fprintf(stderr, "display-sim: cannot accept on %s:%u: %s; new connections wait\n",
                 address_.c_str(), static_cast<unsigned>(port_.load()), std::strerror(error));
  }
  acceptFailureShown_ = true;
  loop_.Change(listenerId_, 0);
  resumeAccepting_ = Clock::now() + kAcceptPause;
  WakeAt(*resumeAccepting_);
}

void TcpDisplayServer::OnClient(const ClientConnection* connection, uint32_t events) {
  const auto found = std::find_if(clients_.begin(), clients_.end(), [&](const Client& client) {
    return client.connection.get() == connection;
  });
  if (found == clients_.end()) return;
  ClientConnection& client = *found->connection;
  if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0 && client.WantsToRead()) {
    client.Receive(found->handler ? found->handler : handler_, Clock::now());
  }
  // A hang-up is reported whatever the connection waits for; with nothing more to read the
  // peer is gone, and the replies still queued could never reach it.
  if ((events & (EPOLLHUP | EPOLLERR)) != 0 && !client.WantsToRead()) client.Abandon();
  Service();
}

void TcpDisplayServer::OnTimer() {
  const auto now = Clock::now();
  timerDue_.reset();
  if (resumeAccepting_ && *resumeAccepting_ <= now) {
    resumeAccepting_.reset();
    if (listenerId_ != 0) loop_.Change(listenerId_, EPOLLIN);
  }
  Service();
  if (resumeAccepting_) WakeAt(*resumeAccepting_);
}

// Writes what is due, watches each connection for what it waits for next, drops the finished
// ones and sets the timer for the next reply piece.
void TcpDisplayServer::Service() {
  const auto now = Clock::now();
  for (Client& client : clients_) {
    ClientConnection& connection = *client.connection;
    connection.Flush(now);
    HangUpIfIdle(connection, now);
    if (connection.Finished()) {
      loop_.Remove(client.id);
      continue;
    }
    const uint32_t wanted =
        (connection.WantsToRead() ? EPOLLIN : 0U) | (connection.WantsToWrite(now) ? EPOLLOUT : 0U);
    if (wanted != client.events && loop_.Change(client.id, wanted)) client.events = wanted;
    const auto due = connection.NextDue();
    if (due && *due > now) WakeAt(*due);
  }
  std::erase_if(clients_, [](const Client& client) { return client.connection->Finished(); });
}

void TcpDisplayServer::HangUpIfIdle(ClientConnection& connection, Clock::time_point now) {
  const auto limit = rules_.idleLimit ? rules_.idleLimit() : std::chrono::milliseconds(0);
  if (limit.count() <= 0 || !connection.WantsToRead()) return;
  const auto deadline = connection.LastHeard() + limit;
  if (deadline <= now) {
    connection.HangUp();
  } else {
    WakeAt(deadline);
  }
}

void TcpDisplayServer::WakeAt(Clock::time_point due) {
  if (timerDue_ && *timerDue_ <= due) return;
  timerDue_ = due;
  loop_.WakeAt(timerId_, due);
}

}  // namespace tarnex::sim
