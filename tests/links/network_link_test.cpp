#include "links/network_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "display-sim/display_fleet.h"
#include "support/faulty_sockets.h"
#include "support/loopback_block.h"
#include "support/recording_link_host.h"
#include "support/recording_ui_host.h"
#include "support/trace_recorder.h"

namespace tarnex {
namespace {

using testing::FaultySockets;
using testing::Loopback;
using testing::RecordingLinkHost;
using testing::RecordingUiHost;
using testing::TraceRecorder;

// Each test uses its own loopback addresses so the suites can run in parallel.
class NetworkLinkTest : public ::testing::Test {
 protected:
  NetworkLinkTest() : link(state, host, ui, sockets) {}

  void Connect(int index, const std::string& ip) {
    state.m_docCurrentDisplay = index;
    link.SetViewIp(ip);
  }

  LinkState state;
  RecordingLinkHost host;
  RecordingUiHost ui;
  FaultySockets sockets;
  CNetworkLink link;
  TraceRecorder traces;
  sim::DisplayFleet fleet;
};

TEST_F(NetworkLinkTest, ConnectOpensALinkAndRecordsIt) {
  fleet.Add({.address = Loopback(21)});
  Connect(4, Loopback(21));

  EXPECT_EQ(link.ConnectMonitor(), 1);
  EXPECT_EQ(state.m_docConnectState[4], 1);
  EXPECT_NE(link.SocketOf(4), kNoSocket);
  EXPECT_EQ(host.DisplayAddress(4), Loopback(21));
  EXPECT_EQ(link.m_bConnect, 1);
  EXPECT_EQ(host.History(), std::vector<std::string>{Loopback(21) + " | Connected to Monitor"});
  EXPECT_TRUE(traces.Contains("ip : " + Loopback(21) + "  socketConnectCnt:0"));
  EXPECT_TRUE(ui.Messages().empty());

  // The link is blocking with the receive time-out: an exchange works at once.
  const std::string query = "ka 01 ff\n";
  ASSERT_EQ(sockets.Send(link.SocketOf(4), query.data(), query.size()), 9);
  char reply[64] = {};
  const ssize_t n = sockets.Recv(link.SocketOf(4), reply, sizeof reply - 1);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(reply, 10).substr(0, 7), "a 01 OK");
}

TEST_F(NetworkLinkTest, RefusedConnectMarksTheDisplayDown) {
  fleet.Add({.address = Loopback(22), .refuse = true});
  Connect(2, Loopback(22));

  EXPECT_EQ(link.ConnectMonitor(), 0);
  EXPECT_EQ(state.m_docConnectState[2], 0);
  EXPECT_EQ(link.SocketOf(2), kNoSocket);
  EXPECT_EQ(link.m_bConnect, 0);
  EXPECT_EQ(host.History(), std::vector<std::string>{Loopback(22) + " | Disconnected to Monitor"});
  EXPECT_TRUE(traces.Contains("socket error"));
  EXPECT_EQ(host.DisplayAddress(2), "");  // the caller stores a failed address itself
}

TEST_F(NetworkLinkTest, MalformedAddressesFailWithoutSendingAnything) {
  // inet_addr would have turned these into the broadcast address.
  for (const char* bad : {"", "255.255.255.256", "not an address", "1.2.3", "127.0.0.1 "}) {
    Connect(0, bad);
    EXPECT_EQ(link.ConnectMonitor(), 0) << bad;
    EXPECT_EQ(state.m_docConnectState[0], 0) << bad;
    EXPECT_EQ(link.SocketOf(0), kNoSocket) << bad;
  }
}

TEST_F(NetworkLinkTest, ConnectOutsideTheTableDoesNothing) {
  for (int index : {-1, kMaxDisplays}) {
    Connect(index, Loopback(23));
    EXPECT_EQ(link.ConnectMonitor(), 0);
  }
  EXPECT_TRUE(sockets.Connects().empty());
  EXPECT_EQ(link.ReconnectMonitor(kMaxDisplays), 0);
}

TEST_F(NetworkLinkTest, ReplacingALinkClosesTheOldSocket) {
  fleet.Add({.address = Loopback(24)});
  Connect(1, Loopback(24));
  ASSERT_EQ(link.ConnectMonitor(), 1);
  const int first = link.SocketOf(1);

  ASSERT_EQ(link.ConnectMonitor(), 1);
  EXPECT_EQ(sockets.Closed(), std::vector<int>{first});
}

TEST_F(NetworkLinkTest, SetupFailuresFollowTheirOwnPaths) {
  fleet.Add({.address = Loopback(25)});

  sockets.failReceiveTimeout = true;  // reported, and the connect goes on
  Connect(0, Loopback(25));
  EXPECT_EQ(link.ConnectMonitor(), 1);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"setsockopt() error"});
  sockets.failReceiveTimeout = false;

  sockets.failNonBlocking = true;  // no connect is possible: failure, state untouched
  state.m_docConnectState[1] = -1;
  Connect(1, Loopback(25));
  EXPECT_EQ(link.ConnectMonitor(), 0);
  EXPECT_EQ(state.m_docConnectState[1], -1);
  sockets.failNonBlocking = false;

  sockets.failWait = true;
  Connect(2, Loopback(25));
  EXPECT_EQ(link.ConnectMonitor(), 0);
  EXPECT_EQ(state.m_docConnectState[2], -1);
  EXPECT_EQ(host.History().size(), 1u);  // only the first connect wrote a line
}

TEST_F(NetworkLinkTest, ReconnectSucceedsOnItsSecondAttempt) {
  fleet.Add({.address = Loopback(26)});
  host.SetDisplayAddress(7, Loopback(26));
  state.m_docConnectState[7] = 0;
  sockets.refuseConnects = 1;

  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(link.ReconnectMonitor(7), 1);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(state.m_docConnectState[7], 1);
  EXPECT_NE(link.SocketOf(7), kNoSocket);
  EXPECT_TRUE(traces.Contains("ip : " + Loopback(26) + "  socketConnectCnt:1"));
  EXPECT_EQ(host.History(),
            std::vector<std::string>{Loopback(26) + " | Auto Connection is Success"});
  EXPECT_EQ(sockets.Connects().size(), 2u);
  // The second attempt waits for the rest of the first one's second.
  EXPECT_GT(took, std::chrono::milliseconds(900));
}

TEST_F(NetworkLinkTest, ReconnectGivesUpAfterTwoAttempts) {
  fleet.Add({.address = Loopback(27), .refuse = true});
  host.SetDisplayAddress(3, Loopback(27));
  state.m_docConnectState[3] = 1;

  EXPECT_EQ(link.ReconnectMonitor(3), 0);
  EXPECT_EQ(state.m_docConnectState[3], 0);
  EXPECT_EQ(link.SocketOf(3), kNoSocket);
  EXPECT_TRUE(traces.Contains("socket error_9761"));
  EXPECT_TRUE(host.History().empty());
  EXPECT_EQ(sockets.Connects().size(), 2u);

  // Switched back on, the display is found by the next pass.
  fleet.Find(Loopback(27))->SetRefuse(false);
  EXPECT_EQ(link.ReconnectMonitor(3), 1);
  EXPECT_TRUE(traces.Contains("ip : " + Loopback(27) + "  socketConnectCnt:0"));
}

// The one test that waits for a real time-out: a silent display's receive ends in an error
// after about 3000 ms, which the transaction counts as a failed receive.
TEST_F(NetworkLinkTest, SilentDisplayReceiveEndsAfterTheTimeout) {
  fleet.Add({.address = Loopback(28), .silent = true});
  Connect(0, Loopback(28));
  ASSERT_EQ(link.ConnectMonitor(), 1);
  const int fd = link.SocketOf(0);
  ASSERT_EQ(sockets.Send(fd, "ka 01 ff\n", 9), 9);

  const auto started = std::chrono::steady_clock::now();
  char buffer[100];
  EXPECT_EQ(sockets.Recv(fd, buffer, sizeof buffer), -1);
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(2900));
  EXPECT_LT(waited, std::chrono::milliseconds(6000));
}

}  // namespace
}  // namespace tarnex
