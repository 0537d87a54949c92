#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "display-sim/client_connection.h"
#include "display-sim/connection_rules.h"
#include "display-sim/event_loop.h"
#include "display-sim/line_outcome.h"
#include "display-sim/unreachable_listener.h"

namespace tarnex::sim {

// How a display meets a connect.
enum class Reach {
  kAnswering,    // listens and accepts
  kRefusing,     // no listener: connects are refused
  kUnreachable,  // a listener that never accepts: connects time out
};

// The TCP side of one simulated display: a listening socket on a loopback address and any
// number of connections, served on the fleet's event loop. What to answer is the handler's
// business.
class TcpDisplayServer {
 public:
  // Starts as `reach` says; `rules` frame and keep its connections. Throws std::system_error
  // when the address cannot be bound (outside 127.0.0.0/8, or in use) or the loop cannot
  // watch it.
  TcpDisplayServer(EventLoop& loop, std::string address, uint16_t port, LineHandler handler,
                   Reach reach, ConnectionRules rules = {});
  ~TcpDisplayServer();  // closes everything; the handler is not called afterwards
  TcpDisplayServer(const TcpDisplayServer&) = delete;
  TcpDisplayServer& operator=(const TcpDisplayServer&) = delete;

  // Switches the display: leaving kAnswering closes every connection. Returns once done;
  // false when listening again failed (the port was taken meanwhile), and the display then
  // refuses.
  bool SetReach(Reach reach);

  uint16_t Port() const { return port_.load(); }
  int Connections() const { return connections_.load(); }

 private:
  using Clock = ClientConnection::Clock;
  struct Client {
    std::unique_ptr<ClientConnection> connection;
    EventLoop::SourceId id;
    uint32_t events;
    LineHandler handler;  // the session's own; empty: the server's
  };

  // Loop thread.
  bool Watch(int listener);
  void StopListening();
  void OnListener();
  void OnClient(const ClientConnection* connection, uint32_t events);
  void OnTimer();
  void AcceptPending();
  void PauseAccepting(int error);
  void Service();
  void HangUpIfIdle(ClientConnection& connection, Clock::time_point now);
  void WakeAt(Clock::time_point due);

  // Any thread, reachMutex_ held.
  void SwitchOff();
  bool Answer();
  bool BeUnreachable();
  void ReportListenFailure(int error) const;

  EventLoop& loop_;
  const std::string address_;
  std::atomic<uint16_t> port_;
  const LineHandler handler_;
  const ConnectionRules rules_;
  std::atomic<int> connections_{0};
  std::mutex reachMutex_;  // one switch at a time
  Reach reach_;            // guarded by reachMutex_

  // Loop thread only, once constructed.
  int listener_ = -1;
  EventLoop::SourceId listenerId_ = 0;
  EventLoop::SourceId timerId_ = 0;
  std::optional<Clock::time_point> timerDue_;
  std::optional<Clock::time_point> resumeAccepting_;
  bool acceptFailureShown_ = false;
  std::unique_ptr<UnreachableListener> unreachable_;
  std::vector<Client> clients_;
};

}  // namespace tarnex::sim
