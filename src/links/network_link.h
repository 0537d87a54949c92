#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "links/link_connector.h"
#include "links/link_state.h"
#include "links/monitor_socket_table.h"
#include "platform/sleeper.h"
#include "platform/socket_api.h"
#include "platform/ui_host.h"

namespace tarnex {

// Opens and records the TCP link of each display: one socket per display index on port 9761,
// blocking with a 3000 ms receive time-out once connected; non-blocking only around connect,
// so that a display that does not answer costs at most 1 s per attempt.
class CNetworkLink {
 public:
  CNetworkLink(LinkState& state, NetworkLinkHost& host, UiHost& ui,
               SocketApi& sockets = PosixSockets());

  // The address the next ConnectMonitor works on (the view IP), also the address of the last
  // connection attempt.
  void SetViewIp(std::string ip) { m_viewIp = std::move(ip); }
  const std::string& ViewIp() const { return m_viewIp; }
  uint16_t Port() const { return m_port; }

  // Connects the display at m_docCurrentDisplay to the view IP. 1 on success, 0 on failure.
  int ConnectMonitor();
  // Records a connect that ConnectAll made for the display at `index`, as ConnectMonitor
  // would have; the link takes the descriptor. 1 when connected.
  int AdoptConnection(int index, const std::string& ip, const Connection& result);
  // The options of this link's connects: one attempt at start-up and on selection, two in
  // supervision.
  ConnectOptions Options(int attempts, int cancelFd);
  // The same for connecting the displays in `rows` together, each on its own kind's port.
  ConnectOptions Options(int attempts, int cancelFd, const std::vector<int>& rows);
  // Tests shorten the time after which an idle PJLink session is closed.
  void SetPjlinkIdleLimit(std::chrono::milliseconds limit) { m_pjlinkIdle = limit; }

  // Reconnects the display at `index` to its stored address, with up to two attempts.
  int ReconnectMonitor(int index);

  // The outcome of a reconnect's connect attempts.
  struct Attempt {
    int fd = kNoSocket;
    int attemptNumber = 0;  // 0 or 1: which attempt succeeded
    bool waitFailed = false;
  };
  // Records the outcome of the attempts for the display at `index`; returns 1 or 0.
  int FinishReconnect(int index, const std::string& ip, const Attempt& attempt);

  // Closes the display's socket, if any, and empties its table entry.
  void CloseLink(int index);

  MonitorSocketTable& Sockets() { return m_sockets; }
  // The descriptor of the display in `row`, or kNoSocket. Caller holds the console lock.
  int SocketOf(int row) { return m_sockets.Get(m_state.EnsureId(row)); }
  SocketApi& Api() { return m_api; }

  int m_bConnect = 0;

 private:
  enum class OpenResult { kConnected, kNotConnected, kSetupFailed, kWaitFailed };
  OpenResult OpenSocket(const std::string& ip, int* fd);
  int RecordConnect(int index, const std::string& ip, bool connected);
  // Puts the connected descriptor in the display's entry, by the display's kind.
  void Place(int index, const std::string& ip, int fd);

  LinkState& m_state;
  NetworkLinkHost& m_host;
  UiHost& m_ui;
  SocketApi& m_api;
  MonitorSocketTable m_sockets;
  std::string m_viewIp;
  uint16_t m_port = kDisplayPort;
  std::chrono::milliseconds m_pjlinkIdle{20'000};
};

}  // namespace tarnex
