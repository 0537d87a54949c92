#include "links/pjlink_exchange.h"

#include <poll.h>

#include <algorithm>

#include "platform/trace.h"

namespace tarnex {
namespace {

constexpr int kPjlinkConnectMs = 1000;
// Bytes dropped from an idle session before a send at most: a late answer or a notice.
constexpr size_t kStrayLimit = 4 * 1024;

bool IsErrA(std::string_view packet) {
  return pjlink::ParseReply(packet, "POWR", false).kind == pjlink::ReplyKind::kErrA;
}

LinkAnswer AnswerOf(pjlink::ReplyKind kind) {
  switch (kind) {
    case pjlink::ReplyKind::kOk:
    case pjlink::ReplyKind::kValue:
      return LinkAnswer::kAnswered;
    case pjlink::ReplyKind::kErr1:
      return LinkAnswer::kUndefined;
    case pjlink::ReplyKind::kErr2:
      return LinkAnswer::kOutOfRange;
    case pjlink::ReplyKind::kErr3:
      return LinkAnswer::kBusy;
    case pjlink::ReplyKind::kErr4:
      return LinkAnswer::kFailure;
    case pjlink::ReplyKind::kErrA:
      return LinkAnswer::kAuthFailed;
    case pjlink::ReplyKind::kUnknown:
      break;
  }
  return LinkAnswer::kNone;
}

}  // namespace

PjlinkExchange::PjlinkExchange(SocketApi& api, LinkSocket& link, ExchangeSpec spec,
                               int receiveTimeoutMs)
    : m_api(api),
      m_link(link),
      m_spec(std::move(spec)),
      m_request(pjlink::RequestFor(m_spec.command)),
      m_receiveTimeoutMs(receiveTimeoutMs) {
  if (m_request) m_outcome.asked = m_request->command + " " + m_request->parameter;
}

std::chrono::milliseconds PjlinkExchange::Deadline(int receiveTimeoutMs) {
  return 2 * std::chrono::milliseconds(kPjlinkConnectMs + 2 * receiveTimeoutMs) + kReceivePacing;
}

void PjlinkExchange::Start(Clock::time_point now) {
  if (!m_request) {
    Finish(LinkAnswer::kNotSent);
    return;
  }
  PjlinkSession& session = m_link.pjlink;
  if (m_link.fd != kNoSocket && session.greeted && IdleTooLong(now)) {
    Trace("PJLink session to %s idle, closed", session.address.c_str());
    CloseSession();
  }
  if (m_link.fd != kNoSocket && session.greeted && PeerClosed()) {
    Trace("PJLink session to %s closed by the display", session.address.c_str());
    CloseSession();
  }
  if (m_link.fd == kNoSocket) {
    Open(now);
  } else if (!session.greeted) {
    // Connected at start-up or by supervision; the greeting is still to be read.
    m_openedHere = true;
    WaitFor(POLLIN, now + std::chrono::milliseconds(m_receiveTimeoutMs));
    m_state = State::kGreeting;
  } else {
    Send(now);
  }
}

bool PjlinkExchange::IdleTooLong(Clock::time_point now) const {
  return now - m_link.pjlink.lastActivity >= m_link.pjlink.idleLimit;
}

// Whatever an idle session holds is dropped; an end of file means the display closed it.
bool PjlinkExchange::PeerClosed() {
  char chunk[256];
  size_t dropped = 0;
  while (dropped < kStrayLimit) {
    pollfd entry{m_link.fd, POLLIN, 0};
    if (::poll(&entry, 1, 0) <= 0) return false;
    const ssize_t n = m_api.Recv(m_link.fd, chunk, sizeof chunk);
    if (n <= 0) return true;
    dropped += static_cast<size_t>(n);
  }
  return true;  // a session that keeps talking unasked is not one to send into
}

void PjlinkExchange::Open(Clock::time_point now) {
  m_openedHere = true;
  PjlinkSession& session = m_link.pjlink;
  const int fd = m_api.CreateTcp();
  if (fd == kNoSocket) return Fail();
  m_link.fd = fd;
  session.greeted = false;
  session.hashSent = false;
  m_api.SetReceiveTimeout(fd, m_receiveTimeoutMs);
  if (!m_api.SetNonBlocking(fd, true)) return Fail();
  switch (m_api.StartConnect(fd, session.address, session.port)) {
    case ConnectStart::kConnected:
      return Connected(now);
    case ConnectStart::kInProgress:
      m_state = State::kConnecting;
      WaitFor(POLLOUT, now + std::chrono::milliseconds(kPjlinkConnectMs));
      return;
    case ConnectStart::kFailed:
    case ConnectStart::kBadAddress:
      break;
  }
  Fail();
}

void PjlinkExchange::Connected(Clock::time_point now) {
  if (m_api.ConnectError(m_link.fd) != 0 || !m_api.SetNonBlocking(m_link.fd, false)) {
    return Fail();
  }
  m_buffer.clear();
  m_state = State::kGreeting;
  WaitFor(POLLIN, now + std::chrono::milliseconds(m_receiveTimeoutMs));
}

bool PjlinkExchange::Receive() {
  char chunk[pjlink::kMaxPacket + 1];
  const size_t room = pjlink::kMaxPacket + 1 - std::min(m_buffer.size(), pjlink::kMaxPacket + 1);
  const ssize_t n = m_api.Recv(m_link.fd, chunk, std::max<size_t>(1, room));
  if (n <= 0) return false;
  m_buffer.append(chunk, static_cast<size_t>(n));
  return true;
}

bool PjlinkExchange::TakePacket(std::string& packet) {
  const size_t cr = m_buffer.find('\r');
  if (cr == std::string::npos) {
    if (m_buffer.size() > pjlink::kMaxPacket) {
      Trace("PJLink packet over %zu bytes from %s", pjlink::kMaxPacket,
            m_link.pjlink.address.c_str());
      Fail();
    }
    return false;
  }
  packet = m_buffer.substr(0, cr);
  m_buffer.erase(0, cr + 1);
  Trace("%s", packet.c_str());
  return true;
}

void PjlinkExchange::ReadGreeting(Clock::time_point now) {
  if (!Receive()) return Fail();
  std::string packet;
  if (TakePacket(packet)) Greeted(packet, now);
}

void PjlinkExchange::Greeted(const std::string& packet, Clock::time_point now) {
  PjlinkSession& session = m_link.pjlink;
  const auto greeting = pjlink::ParseGreeting(packet);
  if (!greeting) {
    // "PJLINK ERRA" as a greeting, too, is a display that would not have us.
    if (IsErrA(packet)) {
      CloseSession();
      return Finish(LinkAnswer::kAuthFailed);
    }
    Trace("no PJLink greeting from %s", session.address.c_str());
    return Fail();
  }
  session.greeted = true;
  session.authenticate = greeting->authenticate;
  session.random = greeting->random;
  if (session.authenticate && session.password.empty()) {
    CloseSession();
    return Finish(LinkAnswer::kAuthFailed);
  }
  if (!session.authenticate && !session.password.empty() && !session.passwordUnused) {
    session.passwordUnused = true;
    Trace("PJLink display %s asks for no password; connected without it", session.address.c_str());
  }
  Send(now);
}

void PjlinkExchange::Send(Clock::time_point now) {
  PjlinkSession& session = m_link.pjlink;
  std::string bytes = pjlink::Frame(m_request->command, m_request->parameter);
  if (session.authenticate && !session.hashSent) {
    bytes = pjlink::AuthPrefix(session.random, session.password) + bytes;
    session.hashSent = true;
  }
  m_buffer.clear();
  session.lastActivity = now;
  if (m_api.Send(m_link.fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    return SessionLost(now);
  }
  m_state = State::kReplying;
  WaitFor(POLLIN, now + std::chrono::milliseconds(m_receiveTimeoutMs));
}

void PjlinkExchange::ReadReply(Clock::time_point now) {
  if (!Receive()) return SessionLost(now);
  std::string packet;
  while (m_state == State::kReplying && TakePacket(packet)) Answered(packet);
}

void PjlinkExchange::Answered(const std::string& packet) {
  const pjlink::Reply reply = pjlink::ParseReply(packet, m_request->command, m_request->query);
  if (reply.kind == pjlink::ReplyKind::kUnknown) {
    Trace("PJLink packet not the answer to %s dropped", m_request->command.c_str());
    m_unreadable = true;
    return;  // another command's late answer: the receive time-out still runs
  }
  m_link.pjlink.lastActivity = Clock::now();
  if (reply.kind == pjlink::ReplyKind::kErrA) {
    CloseSession();  // displays end the session after refusing the hash
    return Finish(LinkAnswer::kAuthFailed);
  }
  if (auto native = pjlink::NativeReplyFor(*m_request, reply)) {
    m_outcome.complete = true;
    m_outcome.reply = std::move(*native);
  }
  Finish(AnswerOf(reply.kind));
}

// The display spoke, only not an answer: it is there, and not to be shown lost for it. Its
// session is out of step, so the next exchange opens its own.
void PjlinkExchange::Unreadable() {
  CloseSession();
  Finish(LinkAnswer::kAnswered);
}

void PjlinkExchange::SessionLost(Clock::time_point now) {
  if (m_openedHere || m_reopened) return Fail();
  CloseSession();
  Trace("PJLink session to %s lost; opened again", m_link.pjlink.address.c_str());
  m_reopened = true;
  Open(now);
}

void PjlinkExchange::Ready(short revents, Clock::time_point now) {
  const bool timedOut = revents == 0;
  switch (m_state) {
    case State::kConnecting:
      return timedOut ? Fail() : Connected(now);
    case State::kGreeting:
      return timedOut ? Fail() : ReadGreeting(now);
    case State::kReplying:
      // A late answer would come into the next exchange's session: this one ends here.
      if (timedOut && m_unreadable) return Unreadable();
      return timedOut ? Fail() : ReadReply(now);
    case State::kDone:
      break;
  }
}

void PjlinkExchange::DeadlinePassed() {
  Trace("no PJLink answer from %s before the exchange's deadline", m_link.pjlink.address.c_str());
  Fail();
}

void PjlinkExchange::Cancel() {
  // A session cut mid-connect or mid-greeting is of no use to the next exchange.
  if (m_state == State::kConnecting || m_state == State::kGreeting) CloseSession();
  m_outcome.cancelled = true;
  m_state = State::kDone;
}

void PjlinkExchange::CloseSession() {
  if (m_link.fd != kNoSocket) m_api.Close(m_link.fd);
  m_link.fd = kNoSocket;
  m_link.pjlink.greeted = false;
  m_link.pjlink.hashSent = false;
}

// A session that failed an exchange is not used again: the next exchange opens its own.
void PjlinkExchange::Fail() {
  CloseSession();
  m_outcome.complete = false;
  m_outcome.failedReceives = std::max(1, m_spec.maxFailedReceives);
  m_state = State::kDone;
}

void PjlinkExchange::Finish(LinkAnswer answer) {
  m_outcome.answer = answer;
  m_state = State::kDone;
}

void PjlinkExchange::WaitFor(short events, Clock::time_point until) {
  m_wait = {.fd = m_link.fd, .events = events, .until = until};
}

}  // namespace tarnex
