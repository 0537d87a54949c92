#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "display-sim/program_options.h"
#include "serial_test_client.h"
#include "support/loopback_block.h"
#include "support/sim_program.h"

namespace tarnex::sim {
namespace {

namespace fs = std::filesystem;
using tarnex::testing::Loopback;
using namespace std::chrono_literals;

TEST(SerialProgramOptions, SerialLineIsReadBesideTheTcpDisplays) {
  const ProgramOptions serialOnly = ParseProgramOptions(
      {"--serial", "/tmp/ttyX", "--set-ids", "1,5,15,99", "--reply-own-set-id", "--split"});
  ASSERT_TRUE(serialOnly.serial);
  EXPECT_TRUE(serialOnly.displays.empty());
  EXPECT_EQ(serialOnly.serial->linkPath, "/tmp/ttyX");
  EXPECT_EQ(serialOnly.serial->setIds, (std::vector<std::string>{"01", "05", "0f", "63"}));
  EXPECT_TRUE(serialOnly.serial->replyOwnSetId);
  EXPECT_TRUE(serialOnly.serial->splitReplies);

  const ProgramOptions both =
      ParseProgramOptions({"--tcp", "127.0.0.2", "--serial", "/tmp/ttyY", "--set-ids", "2"});
  ASSERT_TRUE(both.serial);
  EXPECT_EQ(both.displays.size(), 1u);
  EXPECT_FALSE(both.serial->replyOwnSetId);
  EXPECT_FALSE(ParseProgramOptions({"--tcp", "127.0.0.2"}).serial);
}

TEST(SerialProgramOptions, BadSerialCommandLinesAreRefused) {
  const std::vector<std::vector<std::string>> bad = {
      {"--serial", "/tmp/ttyX"},                       // nobody on the line
      {"--set-ids", "1"},                              // no line
      {"--tcp", "127.0.0.2", "--reply-own-set-id"},    // no line
      {"--serial", "/tmp/ttyX", "--set-ids", "0"},     // 00 addresses everyone
      {"--serial", "/tmp/ttyX", "--set-ids", "100"},   // beyond two digits' range in use
      {"--serial", "/tmp/ttyX", "--set-ids", "1,1"},   // twice
      {"--serial", "/tmp/ttyX", "--set-ids", "1,"},    // empty item
      {"--serial", "/tmp/ttyX", "--set-ids", "0x05"},  // set numbers are decimal
      {"--serial", "", "--set-ids", "1"},              // no path
      {"--serial"},                                    // missing value
  };
  for (const auto& args : bad) {
    std::string joined;
    for (const auto& arg : args) joined += arg + " ";
    EXPECT_THROW(ParseProgramOptions(args), std::invalid_argument) << joined;
  }
}

TEST(DisplaySimSerialProgram, AnswersOnTheLinkedLineAndRemovesTheLinkOnExit) {
  const fs::path dir = fs::temp_directory_path() / ("sim_serial_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string link = (dir / "ttyX").string();
  const std::string logPath = (dir / "commands.log").string();
  testing::Program program(
      {"--tcp", Loopback(40), "--serial", link, "--set-ids", "1,5", "--log", logPath});
  const std::string ready = program.FirstLine(5s);
  EXPECT_EQ(
      ready.rfind("display-sim: ready tcp " + Loopback(40) + ":9761 serial " + link + " /dev/pts/",
                  0),
      0u)
      << ready;

  {
    sim::testing::SerialTestClient client(link);
    ASSERT_TRUE(client.IsOpen());
    EXPECT_EQ(client.Exchange("ka 05 ff\n"), "a 01 OK01x");
    EXPECT_EQ(client.Exchange("ka 02 ff\n"), "");
  }
  std::ifstream file(logPath);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), "serial:05\tka 05 ff\\n\nserial:02\tka 02 ff\\n\n");

  EXPECT_EQ(program.Terminate(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnex::sim
