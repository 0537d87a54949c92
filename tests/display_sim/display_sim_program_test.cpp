#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_block.h"
#include "support/sim_program.h"
#include "test_client.h"

namespace tarnex::sim {
namespace {

using tarnex::testing::Loopback;
using tarnex::testing::LoopbackRange;
using testing::Program;

using namespace std::chrono_literals;

TEST(DisplaySimProgram, ServesUntilTerminatedAndLogsWhatItReceived) {
  const auto log = std::filesystem::temp_directory_path() /
                   ("display_sim_program_" + std::to_string(::getpid()) + ".log");
  std::filesystem::remove(log);
  Program program({"--tcp", Loopback(30) + "," + Loopback(31), "--log", log.string(), "--refuse",
                   Loopback(31)});
  EXPECT_EQ(program.FirstLine(5s),
            "display-sim: ready tcp " + Loopback(30) + ":9761 " + Loopback(31) + ":9761\n");

  auto client = testing::TestClient::Connect(Loopback(30));
  ASSERT_TRUE(client);
  EXPECT_EQ(client->Exchange("ka 01 ff\n"), "a 01 OK01x");
  EXPECT_EQ(testing::TestClient::Connect(Loopback(31)), nullptr);
  std::ifstream file(log);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), Loopback(30) + "\tka 01 ff\\n\n");

  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(3s), 0);
  std::filesystem::remove(log);
}

TEST(DisplaySimProgram, RefusesAnAddressOffLoopback) {
  Program program({"--tcp", Loopback(32) + ",192.168.0.10"});
  EXPECT_EQ(program.FirstLine(3s), "");
  EXPECT_EQ(program.Wait(3s), 2);
}

TEST(DisplaySimProgram, ServesARangeOfDisplaysAndEachAnswers) {
  Program program({"--tcp", LoopbackRange(1, 50), "--kind", "3"});
  std::string expected = "display-sim: ready tcp";
  for (int i = 1; i <= 50; ++i) expected += " " + Loopback(i) + ":9761";
  ASSERT_EQ(program.FirstLine(5s), expected + "\n");
  std::vector<std::unique_ptr<testing::TestClient>> clients;
  for (int i = 1; i <= 50; ++i) {
    clients.push_back(testing::TestClient::Connect(Loopback(i)));
    ASSERT_TRUE(clients.back()) << i;
  }
  for (auto& client : clients) ASSERT_TRUE(client->Send("nu 01 ff\n"));
  for (auto& client : clients) EXPECT_EQ(client->ReadReply(), "u 01 OK03x");
  EXPECT_EQ(program.Terminate(), 0);
}

TEST(DisplaySimProgram, RunningOutOfDescriptorsIsAnErrorNotACrash) {
  Program program({"--tcp", LoopbackRange(101, 150)}, 32);
  const std::string said = program.FirstLine(5s);
  EXPECT_NE(said.find("Too many open files (open-file limit 32;"), std::string::npos) << said;
  EXPECT_EQ(program.Wait(3s), 1);
}

}  // namespace
}  // namespace tarnex::sim
