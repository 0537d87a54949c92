#include "links/network_exchange.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/cancel_token.h"
#include "support/trace_recorder.h"

namespace tarnex {
namespace {

// The console's end and the display's end of a real stream socket.
class SocketPair {
 public:
  SocketPair() {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    console = fds[0];
    display = fds[1];
    // A short receive time-out keeps the silent-display cases fast.
    EXPECT_TRUE(PosixSockets().SetReceiveTimeout(console, 100));
  }
  ~SocketPair() {
    ::close(console);
    if (display >= 0) ::close(display);
  }
  void DisplayWrites(const std::string& bytes) const {
    ASSERT_EQ(::write(display, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string DisplayReads() const {
    char buffer[1024];
    const ssize_t n = ::recv(display, buffer, sizeof buffer, MSG_DONTWAIT);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }
  void DisplayCloses() {
    ::close(display);
    display = -1;
  }

  int console = -1;
  int display = -1;
};

class NetworkExchangeTest : public ::testing::Test {
 protected:
  ExchangeOutcome Exchange(const std::string& command, int maxFailed = 3, bool resend = true) {
    return ExchangeWithDisplay(PosixSockets(), pair.console, command, maxFailed, resend,
                               [this](std::chrono::milliseconds pause) {
                                 pauses.push_back(pause);
                                 if (onPause) onPause(pauses.size());
                               });
  }

  SocketPair pair;
  testing::TraceRecorder traces;
  std::vector<std::chrono::milliseconds> pauses;
  std::function<void(size_t)> onPause;
};

TEST_F(NetworkExchangeTest, ACompleteReplyEndsTheExchange) {
  onPause = [this](size_t count) {
    if (count == 1) pair.DisplayWrites("a 01 OK01x\n");
  };
  const ExchangeOutcome outcome = Exchange("ka 01 ff\n");
  EXPECT_TRUE(outcome.complete);
  EXPECT_EQ(outcome.reply, "a 01 OK01x\n");
  EXPECT_EQ(outcome.failedReceives, 0);
  EXPECT_EQ(pair.DisplayReads(), "ka 01 ff\n");
  // 50 ms before the receive and 50 ms after the complete reply.
  EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{kReceivePacing, kReceivePacing}));
}

TEST_F(NetworkExchangeTest, AReplyInPiecesIsReadWhole) {
  onPause = [this](size_t count) {
    if (count == 1) pair.DisplayWrites("a 01 O");
    if (count == 2) pair.DisplayWrites("K00");
    if (count == 3) pair.DisplayWrites("x\r");
  };
  const ExchangeOutcome outcome = Exchange("ka 01 00\n");
  EXPECT_TRUE(outcome.complete);
  EXPECT_EQ(outcome.reply, "a 01 OK00x\r");
  EXPECT_EQ(outcome.failedReceives, 0);
  EXPECT_TRUE(traces.Contains("a 01 O"));  // the incomplete buffer is traced
}

TEST_F(NetworkExchangeTest, ASilentDisplayIsSentTheCommandThreeTimes) {
  const ExchangeOutcome outcome = Exchange("kd 01 ff\n");
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(outcome.failedReceives, 3);
  EXPECT_EQ(pair.DisplayReads(), "kd 01 ff\nkd 01 ff\nkd 01 ff\n");
  const std::vector<std::string> expected = {"SOCKET_ERROR 11", "recvCnt : 1", "1 send()",
                                             "SOCKET_ERROR 11", "recvCnt : 2", "2 send()",
                                             "SOCKET_ERROR 11", "recvCnt : 3"};
  EXPECT_EQ(traces.Lines(), expected);
}

TEST_F(NetworkExchangeTest, AReplyAfterAFailedReceiveIsTakenFresh) {
  onPause = [this](size_t count) {
    if (count == 1) pair.DisplayWrites("a 01 OK");  // then nothing: one failed receive
    if (count == 3) pair.DisplayWrites("a 01 OK01x");
  };
  const ExchangeOutcome outcome = Exchange("ka 01 ff\n");
  EXPECT_TRUE(outcome.complete);
  EXPECT_EQ(outcome.reply, "a 01 OK01x");
  EXPECT_EQ(outcome.failedReceives, 1);
}

TEST_F(NetworkExchangeTest, AClosedConnectionCountsAsFailedReceives) {
  pair.DisplayCloses();
  const ExchangeOutcome outcome = Exchange("ka 01 ff\n");
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(outcome.failedReceives, 3);
}

TEST_F(NetworkExchangeTest, AReplyThatNeverCompletesCannotOverflow) {
  onPause = [this](size_t count) {
    if (count == 1) pair.DisplayWrites(std::string(1000, 'A'));
  };
  const ExchangeOutcome outcome = Exchange("ka 01 ff\n");
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(outcome.failedReceives, 3);
  EXPECT_TRUE(outcome.reply.empty());
}

TEST_F(NetworkExchangeTest, AQueryOnceGivesUpAtTheFirstFailedReceive) {
  const ExchangeOutcome outcome = Exchange("nu 01 ff\n", 1, false);
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(outcome.failedReceives, 1);
  EXPECT_EQ(pair.DisplayReads(), "nu 01 ff\n");
  EXPECT_EQ(traces.Lines(), (std::vector<std::string>{"SOCKET_ERROR 11", "recvCnt : 1"}));
}

}  // namespace
}  // namespace tarnex

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;

TEST_F(NetworkExchangeTest, WhatWasQueuedBeforeTheSendIsNotTakenForTheReply) {
  pair.DisplayWrites("a 01 OK00xa 01 OK00x");  // the unread replies of a power command
  onPause = [this](size_t count) {
    if (count == 1) pair.DisplayWrites("d 01 OK01x");
  };
  const ExchangeOutcome outcome = Exchange("kd 01 ff\n");
  EXPECT_EQ(outcome.reply, "d 01 OK01x");
  EXPECT_EQ(pair.DisplayReads(), "kd 01 ff\n");  // the bytes sent do not change
}

// A late reply to an earlier command (a resend's second answer, a power command's) that lands
// after the socket was emptied must not pass for this command's reply: every later reply
// would then answer the command before it. Garbage is still handed to the readers.
TEST_F(NetworkExchangeTest, ALateReplyToAnotherCommandIsNotTakenForTheReply) {
  onPause = [this](size_t count) {
    if (count == 1) pair.DisplayWrites("g 01 OK1ax\r\n");
    if (count == 2) pair.DisplayWrites("r 01 OK00xd 01 OK01x");
  };
  EXPECT_EQ(Exchange("kd 01 ff\n").reply, "d 01 OK01x");

  pauses.clear();
  onPause = [this](size_t count) {
    if (count == 1) pair.DisplayWrites("d 01 OK01x");  // a repeated answer to the same command
  };
  EXPECT_EQ(Exchange("kd 01 ff\n").reply, "d 01 OK01x");
  pauses.clear();
  onPause = [this](size_t count) {
    if (count == 1) pair.DisplayWrites("#?! garbage x");
  };
  EXPECT_EQ(Exchange("kd 01 ff\n").reply, "#?! garbage x");
}

TEST_F(NetworkExchangeTest, AFirstSegmentShorterThanAReplyHeaderIsNotAWholeReply) {
  onPause = [this](size_t count) {
    if (count == 1) pair.DisplayWrites("x ");
    if (count == 2) pair.DisplayWrites("01 OK00x");
  };
  EXPECT_EQ(Exchange("dx 01 ff\n").reply, "x 01 OK00x");
}

// A display that sends a byte now and then never lets a receive time out; the exchange's
// deadline (three 100 ms receives and their pauses here) ends it.
TEST_F(NetworkExchangeTest, ATricklingDisplayIsGivenUpAtTheDeadline) {
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    for (int i = 0; i < 200 && !done; ++i) {
      pair.DisplayWrites("A");
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  });
  const Clock::time_point started = Clock::now();
  const ExchangeOutcome outcome =
      ExchangeWithDisplay(PosixSockets(), pair.console, "kd 01 ff\n", 3, true, RealSleeper());
  const auto took = Clock::now() - started;
  done = true;
  trickle.join();
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(outcome.failedReceives, 3);
  EXPECT_LT(took, std::chrono::seconds(2));
}

TEST_F(NetworkExchangeTest, ACancelEndsTheWaitAtOnceWithoutBlamingTheDisplay) {
  ASSERT_TRUE(PosixSockets().SetReceiveTimeout(pair.console, 3000));
  CancelToken stop;
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop.Cancel();
  });
  const Clock::time_point started = Clock::now();
  const ExchangeOutcome outcome = ExchangeWithDisplay(PosixSockets(), pair.console, "kd 01 ff\n", 3,
                                                      true, RealSleeper(), stop.Fd());
  closer.join();
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_FALSE(outcome.complete);
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(1));
}

}  // namespace
}  // namespace tarnex
