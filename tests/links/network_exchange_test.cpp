#include "links/network_exchange.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>
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

// A display on the far end of a socket pair that answers each command line from a table
// while `answers` lasts, then stays silent.
class Responder {
 public:
  Responder(int fd, std::map<std::string, std::string> table, int answers = 1000)
      : m_thread([this, fd, table = std::move(table), answers]() mutable {
          std::string pending;
          while (!m_stop) {
            char chunk[64];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n <= 0) {
              std::this_thread::sleep_for(std::chrono::milliseconds(2));
              continue;
            }
            pending.append(chunk, static_cast<size_t>(n));
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
              const std::string line = pending.substr(0, end + 1);
              pending.erase(0, end + 1);
              Record(line);
              if (answers-- > 0 && table.count(line) != 0) {
                ASSERT_GT(::send(fd, table[line].data(), table[line].size(), MSG_NOSIGNAL), 0);
              }
            }
          }
        }) {}
  ~Responder() {
    m_stop = true;
    m_thread.join();
  }
  std::vector<std::string> Received() {
    std::lock_guard lock(m_mutex);
    return m_received;
  }

 private:
  void Record(const std::string& line) {
    std::lock_guard lock(m_mutex);
    m_received.push_back(line);
  }

  std::mutex m_mutex;
  std::vector<std::string> m_received;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

const std::map<std::string, std::string> kAnswers = {
    {"nu 01 ff\n", "u 01 OK02x"}, {"ka 01 ff\n", "a 01 OK01x"}, {"xb 01 ff\n", "b 01 OK90x"}};

ExchangeSpec Query(std::string command) {
  return {.command = std::move(command), .maxFailedReceives = 1};
}

// Each display's next query follows its own reply: one display goes on to its input after the
// kind, the other stops after its power; neither waits for the other's pacing.
TEST(ExchangeSequences, EachDisplayRunsItsOwnSequenceFromItsOwnReplies) {
  SocketPair first, second;
  Responder a(first.display, kAnswers), b(second.display, kAnswers);
  const std::vector<int> sockets = {first.console, second.console};
  const std::vector<ExchangeSpec> specs = {Query("nu 01 ff\n"), Query("ka 01 ff\n")};
  std::vector<std::vector<std::string>> replies(2);
  std::vector<size_t> finished;
  ExchangeWithDisplays(
      PosixSockets(), sockets, specs, kNoSocket, [&](size_t i) { finished.push_back(i); },
      [&](size_t i, ExchangeOutcome& outcome) -> std::optional<ExchangeSpec> {
        replies[i].push_back(outcome.reply);
        if (i == 0 && outcome.reply == "u 01 OK02x") return Query("xb 01 ff\n");
        return std::nullopt;
      });
  EXPECT_EQ(a.Received(), (std::vector<std::string>{"nu 01 ff\n", "xb 01 ff\n"}));
  EXPECT_EQ(b.Received(), std::vector<std::string>{"ka 01 ff\n"});
  EXPECT_EQ(replies[0], (std::vector<std::string>{"u 01 OK02x", "b 01 OK90x"}));
  EXPECT_EQ(replies[1], std::vector<std::string>{"a 01 OK01x"});
  std::sort(finished.begin(), finished.end());
  EXPECT_EQ(finished, (std::vector<size_t>{0, 1}));
}

// A display that falls silent mid-sequence ends its own sequence with a failed outcome; the
// other display's sequence runs to its end.
TEST(ExchangeSequences, ADisplayGivenUpMidSequenceEndsOnlyItsOwn) {
  SocketPair first, second;
  Responder a(first.display, kAnswers), b(second.display, kAnswers, 1);
  const std::vector<int> sockets = {first.console, second.console};
  const std::vector<ExchangeSpec> specs = {Query("nu 01 ff\n"), Query("nu 01 ff\n")};
  const std::vector<std::string> rest = {"ka 01 ff\n", "xb 01 ff\n"};
  std::vector<size_t> step(2, 0);
  std::vector<bool> failed(2, false);
  const std::vector<ExchangeOutcome> outcomes =
      ExchangeWithDisplays(PosixSockets(), sockets, specs, kNoSocket, {},
                           [&](size_t i, ExchangeOutcome& outcome) -> std::optional<ExchangeSpec> {
                             if (!outcome.complete) {
                               failed[i] = true;
                               return std::nullopt;
                             }
                             if (step[i] == rest.size()) return std::nullopt;
                             return Query(rest[step[i]++]);
                           });
  EXPECT_EQ(a.Received(), (std::vector<std::string>{"nu 01 ff\n", "ka 01 ff\n", "xb 01 ff\n"}));
  EXPECT_EQ(b.Received(), (std::vector<std::string>{"nu 01 ff\n", "ka 01 ff\n"}));
  EXPECT_EQ(failed, (std::vector<bool>{false, true}));
  EXPECT_TRUE(outcomes[0].complete);
  EXPECT_FALSE(outcomes[1].complete);
}

}  // namespace
}  // namespace tarnex
