#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "display-sim/command_log.h"
#include "display-sim/serial_line.h"
#include "links/serial_port.h"
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

}  // namespace
}  // namespace tarnex
