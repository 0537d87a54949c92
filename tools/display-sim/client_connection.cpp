#include "display-sim/client_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace tarnex::sim {
namespace {

constexpr size_t kReceiveChunk = 4096;
// A peer that sends commands but never reads the replies is dropped at this much backlog.
constexpr size_t kMaxQueuedBytes = 64 * 1024;

}  // namespace

ClientConnection::ClientConnection(int fd, char lineEnd, size_t maxLine)
    : fd_(fd), lines_(maxLine, lineEnd) {}

ClientConnection::~ClientConnection() {
  ::close(fd_);
}

void ClientConnection::Receive(const LineHandler& handler, Clock::time_point now) {
  std::array<char, kReceiveChunk> chunk{};
  const ssize_t got = ::recv(fd_, chunk.data(), chunk.size(), 0);
  if (got < 0) {
    failed_ = errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    return;
  }
  if (got == 0) {
    closing_ = true;  // the peer is done sending; replies still due go out first
    return;
  }
  lastHeard_ = now;
  if (!lines_.Append({chunk.data(), static_cast<size_t>(got)})) {
    failed_ = true;
    return;
  }
  // Lines after the one that closes the connection are never taken.
  while (!closing_ && !failed_) {
    const auto line = lines_.NextLine();
    if (!line) break;
    Queue(handler(*line, ++commands_), now);
  }
}

void ClientConnection::Queue(const LineOutcome& outcome, Clock::time_point now) {
  if (outcome.reset) {
    // A zero linger turns the close into a reset, as a display whose network stack restarts.
    const linger abort{.l_onoff = 1, .l_linger = 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    outgoing_.clear();
    queuedBytes_ = 0;
    failed_ = true;
    return;
  }
  auto due = now + outcome.delay;
  for (const std::string& piece : outcome.pieces) {
    outgoing_.push_back({piece, due});
    queuedBytes_ += piece.size();
    due += outcome.pause;
  }
  if (queuedBytes_ > kMaxQueuedBytes) failed_ = true;
  if (outcome.closeAfter) closing_ = true;
}

void ClientConnection::Flush(Clock::time_point now) {
  while (!failed_ && !outgoing_.empty() && outgoing_.front().due <= now) {
    if (!WriteFront()) return;
  }
}

// Writes the front piece; false when the socket cannot take it all now (the rest stays
// queued) or the connection failed.
bool ClientConnection::WriteFront() {
  std::string& bytes = outgoing_.front().bytes;
  const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  if (sent < 0) {
    failed_ = errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    return false;
  }
  const auto count = static_cast<size_t>(sent);
  queuedBytes_ -= count;
  if (count < bytes.size()) {
    bytes.erase(0, count);
    return false;
  }
  outgoing_.pop_front();
  return true;
}

std::optional<ClientConnection::Clock::time_point> ClientConnection::NextDue() const {
  if (outgoing_.empty()) return std::nullopt;
  return outgoing_.front().due;
}

bool ClientConnection::WantsToWrite(Clock::time_point now) const {
  return !failed_ && !outgoing_.empty() && outgoing_.front().due <= now;
}

}  // namespace tarnex::sim
