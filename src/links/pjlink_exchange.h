#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "links/link_socket.h"
#include "links/network_exchange.h"
#include "platform/socket_api.h"
#include "protocol/pjlink_map.h"

namespace tarnex {

// One command and its answer on a PJLink display's session, driven by whoever waits for its
// descriptor: it says what it waits for, and is told when that came. The session is opened
// here when there is none (connect, greeting), closed first when it was idle past its limit,
// and the hash goes before the first command of each session. One send, one receive time-out:
// a command is never sent twice into a live session. A session older than this exchange that
// the display closed is opened once more and the command sent once more; only a failure of a
// session opened here fails the exchange.
class PjlinkExchange {
 public:
  using Clock = std::chrono::steady_clock;

  PjlinkExchange(SocketApi& api, LinkSocket& link, ExchangeSpec spec, int receiveTimeoutMs);

  struct Wait {
    int fd = kNoSocket;
    short events = 0;
    Clock::time_point until{};
  };

  // Does what needs no waiting.
  void Start(Clock::time_point now);
  // What it waits for now; only while not Done().
  const Wait& Waiting() const { return m_wait; }
  // The awaited descriptor reported `revents`, or, with 0, its time came.
  void Ready(short revents, Clock::time_point now);
  void Cancel();
  void DeadlinePassed();
  bool Done() const { return m_state == State::kDone; }
  ExchangeOutcome& Outcome() { return m_outcome; }
  const ExchangeSpec& Spec() const { return m_spec; }

  // The longest an exchange may take: two sessions' connect, greeting and reply.
  static std::chrono::milliseconds Deadline(int receiveTimeoutMs);

 private:
  enum class State { kConnecting, kGreeting, kReplying, kDone };

  void Open(Clock::time_point now);
  void Connected(Clock::time_point now);
  void ReadGreeting(Clock::time_point now);
  void Greeted(const std::string& packet, Clock::time_point now);
  void Send(Clock::time_point now);
  void ReadReply(Clock::time_point now);
  void Answered(const std::string& packet);
  // The session broke: opened again once when it was not opened here, else the exchange fails.
  void SessionLost(Clock::time_point now);
  void Unreadable();
  // A packet ended by CR in what was received; false when none yet, or when the buffer
  // overflowed (the exchange then has failed).
  bool TakePacket(std::string& packet);
  bool Receive();
  void CloseSession();
  void Fail();
  void Finish(LinkAnswer answer);
  void WaitFor(short events, Clock::time_point until);
  bool IdleTooLong(Clock::time_point now) const;
  bool PeerClosed();

  SocketApi& m_api;
  LinkSocket& m_link;
  ExchangeSpec m_spec;
  std::optional<pjlink::Request> m_request;
  int m_receiveTimeoutMs;
  State m_state = State::kDone;
  Wait m_wait;
  ExchangeOutcome m_outcome;
  std::string m_buffer;
  bool m_openedHere = false;
  bool m_reopened = false;
  bool m_unreadable = false;  // a packet came that answers nothing asked
};

}  // namespace tarnex
