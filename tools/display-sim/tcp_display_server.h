#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "display-sim/client_connection.h"
#include "display-sim/line_outcome.h"
#include "display-sim/wake_signal.h"

namespace tarnex::sim {

// The TCP side of one simulated display: a listening socket on a loopback address and any
// number of connections, served by one thread with poll(). What to answer is the handler's
// business.
class TcpDisplayServer {
 public:
  // Listens at once unless `listening` is false. Throws std::system_error when the address
  // cannot be bound (outside 127.0.0.0/8, or in use).
  TcpDisplayServer(std::string address, uint16_t port, LineHandler handler, bool listening);
  ~TcpDisplayServer();  // closes everything and joins the thread
  TcpDisplayServer(const TcpDisplayServer&) = delete;
  TcpDisplayServer& operator=(const TcpDisplayServer&) = delete;

  // Switches the display on or off: off closes the listening socket and every connection, so
  // that connects are refused. Returns once the server thread has done it; false when
  // listening again failed (the port was taken meanwhile).
  bool SetListening(bool listening);

  uint16_t Port() const { return port_.load(); }
  int Connections() const { return connections_.load(); }

 private:
  using Clock = ClientConnection::Clock;

  void Run();
  void ApplyControl();
  void AcceptPending();
  void ServeConnections(const std::vector<short>& events);
  int PollTimeoutMs() const;

  const std::string address_;
  std::atomic<uint16_t> port_;
  const LineHandler handler_;
  WakeSignal wake_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};

  // Server thread only.
  int listener_ = -1;
  std::vector<std::unique_ptr<ClientConnection>> clients_;

  // Listening changes requested by other threads and acknowledged by the server thread.
  std::mutex controlMutex_;
  std::condition_variable controlDone_;
  bool wantListening_;
  bool listeningOk_ = true;
  uint64_t requested_ = 0;
  uint64_t applied_ = 0;

  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace tarnex::sim
