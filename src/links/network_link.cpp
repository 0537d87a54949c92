#include "links/network_link.h"

#include "platform/trace.h"
#include "platform/ui_thread.h"

namespace tarnex {

CNetworkLink::CNetworkLink(LinkState& state, NetworkLinkHost& host, UiHost& ui, SocketApi& sockets)
    : m_state(state), m_host(host), m_ui(ui), m_api(sockets), m_sockets(sockets) {}

// Creates a socket with the receive time-out, connects it without blocking for more than the
// connect time-out, and returns it in blocking mode. On kNotConnected the socket is closed;
// on kSetupFailed and kWaitFailed it is handed back open, as the callers decide its fate.
CNetworkLink::OpenResult CNetworkLink::OpenSocket(const std::string& ip, int* fd) {
  *fd = m_api.CreateTcp();
  if (*fd == kNoSocket) return OpenResult::kNotConnected;
  if (!m_api.SetReceiveTimeout(*fd, kReceiveTimeoutMs)) m_ui.ShowMessage("setsockopt() error");
  if (!m_api.SetNonBlocking(*fd, true)) return OpenResult::kSetupFailed;

  switch (m_api.Connect(*fd, ip, m_port, kConnectTimeoutMs)) {
    case ConnectOutcome::kConnected:
      break;
    case ConnectOutcome::kWaitFailed:
      return OpenResult::kWaitFailed;
    case ConnectOutcome::kNotWritable:
    case ConnectOutcome::kBadAddress:
      m_api.Close(*fd);
      *fd = kNoSocket;
      return OpenResult::kNotConnected;
  }
  if (!m_api.SetNonBlocking(*fd, false)) return OpenResult::kSetupFailed;
  return OpenResult::kConnected;
}

int CNetworkLink::ConnectMonitor() {
  ExpectOffUiThread("a display connect");
  const int index = m_state.m_docCurrentDisplay;
  if (!LinkState::ValidIndex(index)) return 0;
  m_port = m_host.EndpointAt(index).port;
  const std::string ip = m_viewIp;
  CloseLink(index);  // a replaced link must not leak its descriptor

  int fd = kNoSocket;
  const OpenResult result = OpenSocket(ip, &fd);
  Place(index, ip, fd);
  switch (result) {
    case OpenResult::kNotConnected:
      return RecordConnect(index, ip, false);
    case OpenResult::kSetupFailed:
    case OpenResult::kWaitFailed:
      return 0;
    case OpenResult::kConnected:
      break;
  }
  return RecordConnect(index, ip, true);
}

int CNetworkLink::RecordConnect(int index, const std::string& ip, bool connected) {
  if (!connected) {
    Trace("socket error");
    m_state.m_docConnectState[index] = 0;
    m_host.LinkHistory(ip, "Disconnected to Monitor");
    return 0;
  }
  Trace("ip : %s  socketConnectCnt:%d", ip.c_str(), 0);
  m_state.m_docConnectState[index] = 1;
  m_host.LinkHistory(ip, "Connected to Monitor");
  m_host.SetDisplayAddress(index, ip);
  m_bConnect = 1;
  return 1;
}

int CNetworkLink::AdoptConnection(int index, const std::string& ip, const Connection& result) {
  if (!LinkState::ValidIndex(index)) {
    if (result.fd != kNoSocket) m_api.Close(result.fd);
    return 0;
  }
  m_viewIp = ip;
  Place(index, ip, result.fd);
  switch (result.result) {
    case Connection::Result::kConnected:
      return RecordConnect(index, ip, true);
    case Connection::Result::kNotConnected:
      return RecordConnect(index, ip, false);
    case Connection::Result::kNoDescriptors:
      // Not the display's fault: it was never tried, and supervision tries it again later.
      Trace("no descriptor left to connect %s", ip.c_str());
      m_state.m_docConnectState[index] = 0;
      return 0;
    case Connection::Result::kSetupFailed:
    case Connection::Result::kCancelled:
      break;
  }
  return 0;
}

ConnectOptions CNetworkLink::Options(int attempts, int cancelFd) {
  return {.port = kDisplayPort,
          .ports = {},
          .attempts = attempts,
          .attemptMs = kConnectTimeoutMs,
          .receiveTimeoutMs = kReceiveTimeoutMs,
          .cancelFd = cancelFd,
          .optionFailed = [this] { m_ui.ShowMessage("setsockopt() error"); },
          .finished = {}};
}

ConnectOptions CNetworkLink::Options(int attempts, int cancelFd, const std::vector<int>& rows) {
  ConnectOptions options = Options(attempts, cancelFd);
  options.ports.reserve(rows.size());
  for (int row : rows) options.ports.push_back(m_host.EndpointAt(row).port);
  return options;
}

// A PJLink display's session starts with the connect; the first exchange reads its greeting.
void CNetworkLink::Place(int index, const std::string& ip, int fd) {
  const DisplayId id = m_state.EnsureId(index);
  LinkEndpoint endpoint = m_host.EndpointAt(index);
  if (endpoint.kind != LinkKind::kPjlink || fd == kNoSocket) {
    m_sockets.Set(id, fd);
    return;
  }
  PjlinkSession session;
  session.address = ip;
  session.port = endpoint.port;
  session.password = std::move(endpoint.password);
  session.idleLimit = m_pjlinkIdle;
  session.receiveTimeoutMs = m_api.ReceiveTimeoutMs(fd);
  m_sockets.SetPjlink(id, fd, std::move(session));
}

int CNetworkLink::FinishReconnect(int index, const std::string& ip, const Attempt& attempt) {
  if (!LinkState::ValidIndex(index)) {
    if (attempt.fd != kNoSocket) m_api.Close(attempt.fd);
    return 0;
  }
  if (attempt.waitFailed) return 0;
  if (attempt.fd == kNoSocket) {
    m_state.m_docConnectState[index] = 0;
    Trace("socket error_9761");
    return 0;
  }
  Place(index, ip, attempt.fd);
  Trace("ip : %s  socketConnectCnt:%d", ip.c_str(), attempt.attemptNumber);
  m_state.m_docConnectState[index] = 1;
  m_host.LinkHistory(ip, "Auto Connection is Success");
  return 1;
}

int CNetworkLink::ReconnectMonitor(int index) {
  if (!LinkState::ValidIndex(index)) return 0;
  const std::string ip = m_host.DisplayAddress(index);
  CloseLink(index);
  const Connection result = ConnectAll(m_api, {ip}, Options(2, kNoSocket, {index})).front();
  const Attempt attempt{.fd = result.fd,
                        .attemptNumber = result.attemptNumber,
                        .waitFailed = result.result == Connection::Result::kSetupFailed ||
                                      result.result == Connection::Result::kNoDescriptors};
  return FinishReconnect(index, ip, attempt);
}

void CNetworkLink::CloseLink(int index) {
  if (LinkState::ValidIndex(index)) m_sockets.Close(m_state.EnsureId(index));
}

}  // namespace tarnex
