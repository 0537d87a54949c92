#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "display-sim/command_log.h"
#include "display-sim/serial_line.h"
#include "links/serial_port.h"
#include "protocol/command_frame.h"
#include "support/recording_ui_host.h"

namespace tarnex {
namespace {

// Callers on several threads share the port; each exchange keeps the line to itself, so every
// caller gets its own display's answer.
TEST(SerialPortConcurrency, ExchangesFromSeveralThreadsEachGetTheirOwnReply) {
  sim::CommandLog log;
  sim::SerialLine line({.setIds = {"02", "03", "04"}, .replyOwnSetId = true}, log);
  ::setenv("TARNEX_COM6", line.Path().c_str(), 1);
  testing::RecordingUiHost ui;
  CSerialPort port(ui);
  ASSERT_TRUE(port.OpenSerialPort("\\\\.\\COM6", 115200, 8, 0, 0));
  ::unsetenv("TARNEX_COM6");

  const std::vector<std::string> ids = {"02", "03", "04"};
  std::vector<int> wrong(ids.size(), 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < ids.size(); ++t) {
    threads.emplace_back([&, t] {
      const std::string value = "1" + std::to_string(t);
      const Sleeper pause = [](std::chrono::milliseconds) {};
      if (port.Exchange("kh " + ids[t] + " " + value + "\n", 1000, pause) !=
          "h 01 OK" + value + "x") {
        ++wrong[t];
      }
      for (int i = 0; i < 20; ++i) {
        if (port.Exchange("kh " + ids[t] + " ff\n", 1000, pause) != "h 01 OK" + value + "x") {
          ++wrong[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(ids.size(), 0));
}

// The window's thread opens the line again and closes it while workers exchange. No wait outlives
// an open or close (which would hold the window), no exchange gets another display's answer,
// and the line opened at the end answers every worker.
TEST(SerialPortConcurrency, OpeningAndClosingWhileExchangesRunKeepsEveryReplyItsOwn) {
  using Clock = std::chrono::steady_clock;
  sim::CommandLog log;
  sim::SerialLine line({.setIds = {"02", "03", "04"}, .replyOwnSetId = true}, log);
  ::setenv("TARNEX_COM7", line.Path().c_str(), 1);
  testing::RecordingUiHost ui;
  CSerialPort port(ui);
  const auto open = [&] { return port.OpenSerialPort("COM7", 115200, 8, 0, 0); };
  ASSERT_TRUE(open());
  const Sleeper pause = [](std::chrono::milliseconds) {};
  const std::vector<std::string> ids = {"02", "03", "04"};
  for (size_t t = 0; t < ids.size(); ++t) {
    const std::string value = "2" + std::to_string(t);
    ASSERT_EQ(port.Exchange("kh " + ids[t] + " " + value + "\n", 1000, pause),
              "h 01 OK" + value + "x");
  }

  std::atomic<bool> churning{true};
  std::vector<int> wrong(ids.size(), 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < ids.size(); ++t) {
    threads.emplace_back([&, t] {
      const std::string query = "kh " + ids[t] + " ff\n";
      const std::string own = "h 01 OK2" + std::to_string(t) + "x";
      // The console judges a reply by its first characters: a late answer after it is no fault.
      while (churning) {
        const std::string reply = port.Exchange(query, 3000, pause);
        if (!reply.empty() && !protocol::MatchesReply(reply, own)) ++wrong[t];
        if (reply.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (!protocol::MatchesReply(port.Exchange(query, 1000, pause), own)) ++wrong[t];
    });
  }
  Clock::duration longest{};
  for (int i = 0; i < 20; ++i) {
    const auto start = Clock::now();
    if (i % 2 == 0) {
      port.ClosePort();
    } else {
      EXPECT_TRUE(open());
    }
    longest = std::max(longest, Clock::now() - start);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(open());
  churning = false;
  for (auto& thread : threads) thread.join();
  ::unsetenv("TARNEX_COM7");
  EXPECT_EQ(wrong, std::vector<int>(ids.size(), 0));
  EXPECT_LT(longest, std::chrono::milliseconds(1000));
}

}  // namespace
}  // namespace tarnex
