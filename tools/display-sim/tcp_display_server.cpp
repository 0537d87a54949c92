#include "display-sim/tcp_display_server.h"

#include <poll.h>
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

// The loop wakes at least this often even when nothing happens, as a safety net; stop and
// listening changes wake it at once through the wake signal.
constexpr int kMaxPollMs = 200;
constexpr auto kControlTimeout = std::chrono::seconds(5);
constexpr size_t kMaxClients = 64;
constexpr int kMaxAcceptsPerWake = 16;

std::system_error ListenError(int error, const std::string& address, uint16_t port) {
  return std::system_error(error, std::generic_category(),
                           "display-sim: cannot listen on " + address + ":" + std::to_string(port));
}

}  // namespace

TcpDisplayServer::TcpDisplayServer(std::string address, uint16_t port, LineHandler handler,
                                   bool listening)
    : address_(std::move(address)),
      port_(port),
      handler_(std::move(handler)),
      wantListening_(listening) {
  if (!IsLoopbackAddress(address_)) throw ListenError(EADDRNOTAVAIL, address_, port);
  if (listening) {
    listener_ = OpenListener(address_, port);
    if (listener_ < 0) throw ListenError(errno, address_, port);
    port_ = BoundPort(listener_);
  }
  try {
    thread_ = std::thread(&TcpDisplayServer::Run, this);
  } catch (...) {
    if (listener_ >= 0) ::close(listener_);
    throw;
  }
}

TcpDisplayServer::~TcpDisplayServer() {
  {
    std::lock_guard lock(controlMutex_);
    stop_ = true;
  }
  controlDone_.notify_all();
  wake_.Signal();
  thread_.join();
}

bool TcpDisplayServer::SetListening(bool listening) {
  std::unique_lock lock(controlMutex_);
  wantListening_ = listening;
  const uint64_t ticket = ++requested_;
  wake_.Signal();
  const bool done = controlDone_.wait_for(lock, kControlTimeout,
                                          [&] { return applied_ >= ticket || stop_.load(); });
  return done && applied_ >= ticket && listeningOk_;
}

void TcpDisplayServer::ApplyControl() {
  std::lock_guard lock(controlMutex_);
  if (applied_ == requested_) return;
  listeningOk_ = true;
  if (wantListening_ && listener_ < 0) {
    listener_ = OpenListener(address_, port_.load());
    listeningOk_ = listener_ >= 0;
    if (listeningOk_) {
      port_ = BoundPort(listener_);
    } else {
      std::fprintf(stderr, "display-sim: cannot listen again on %s:%u: %s\n", address_.c_str(),
                   static_cast<unsigned>(port_.load()), std::strerror(errno));
    }
  } else if (!wantListening_) {
    // Switched off: no listener, and the open connections die with the display.
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
    clients_.clear();
  }
  applied_ = requested_;
  controlDone_.notify_all();
}

void TcpDisplayServer::Run() {
  std::vector<pollfd> fds;
  while (!stop_.load()) {
    ApplyControl();
    const auto now = Clock::now();
    fds.clear();
    fds.push_back({wake_.Fd(), POLLIN, 0});
    fds.push_back({listener_, POLLIN, 0});  // a negative descriptor is ignored by poll()
    for (const auto& client : clients_) {
      const short read = client->WantsToRead() ? POLLIN : 0;
      const short write = client->WantsToWrite(now) ? POLLOUT : 0;
      const auto wanted = static_cast<short>(read | write);
      // A connection waiting for its next reply piece is left out: poll() would keep
      // reporting a hang-up on it and spin until the piece is due.
      fds.push_back({wanted != 0 ? client->Fd() : -1, wanted, 0});
    }
    if (::poll(fds.data(), fds.size(), PollTimeoutMs()) < 0 && errno != EINTR) {
      std::fprintf(stderr, "display-sim: poll failed: %s\n", std::strerror(errno));
      std::this_thread::sleep_for(std::chrono::milliseconds(kMaxPollMs));
      continue;
    }
    if (fds[0].revents != 0) wake_.Drain();
    std::vector<short> events;
    for (size_t i = 2; i < fds.size(); ++i) events.push_back(fds[i].revents);
    if (listener_ >= 0 && (fds[1].revents & POLLIN) != 0) AcceptPending();
    ServeConnections(events);
  }
  clients_.clear();
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
}

void TcpDisplayServer::AcceptPending() {
  for (int i = 0; i < kMaxAcceptsPerWake; ++i) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    ++connections_;
    if (clients_.size() >= kMaxClients) {
      ::close(fd);
      continue;
    }
    clients_.push_back(std::make_unique<ClientConnection>(fd));
  }
}

// events holds the poll results of the clients that existed before this round's accepts.
void TcpDisplayServer::ServeConnections(const std::vector<short>& events) {
  for (size_t i = 0; i < clients_.size(); ++i) {
    const short revents = i < events.size() ? events[i] : 0;
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0 && clients_[i]->WantsToRead()) {
      clients_[i]->Receive(handler_, Clock::now());
    }
    clients_[i]->Flush(Clock::now());
  }
  std::erase_if(clients_, [](const auto& client) { return client->Finished(); });
}

// Until the earliest reply piece that is not yet due; pieces already due wait for POLLOUT.
int TcpDisplayServer::PollTimeoutMs() const {
  const auto now = Clock::now();
  auto timeout = std::chrono::milliseconds(kMaxPollMs);
  for (const auto& client : clients_) {
    const auto due = client->NextDue();
    if (!due || *due <= now) continue;
    timeout = std::min(timeout, std::chrono::ceil<std::chrono::milliseconds>(*due - now));
  }
  return static_cast<int>(timeout.count());
}

}  // namespace tarnex::sim
