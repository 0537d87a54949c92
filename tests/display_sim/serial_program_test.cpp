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

namespace tarnex::sim {
namespace {

namespace fs = std::filesystem;
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

// The display-sim program with its stdout on a pipe; killed when the test ends.
class SimProgram {
 public:
  explicit SimProgram(std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    std::string program = DISPLAY_SIM_PROGRAM;
    std::vector<char*> argv{program.data()};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    stdout_ = out[0];
  }
  ~SimProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
  }

  std::string FirstLine() {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd entry{stdout_, POLLIN, 0};
      if (::poll(&entry, 1, 100) <= 0) continue;
      char buffer[256];
      const ssize_t got = ::read(stdout_, buffer, sizeof buffer);
      if (got <= 0) break;
      text.append(buffer, static_cast<size_t>(got));
    }
    return text;
  }

  int Terminate() {
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 300; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
};

TEST(DisplaySimSerialProgram, AnswersOnTheLinkedLineAndRemovesTheLinkOnExit) {
  const fs::path dir = fs::temp_directory_path() / ("sim_serial_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string link = (dir / "ttyX").string();
  const std::string logPath = (dir / "commands.log").string();
  SimProgram program(
      {"--tcp", "127.0.60.40", "--serial", link, "--set-ids", "1,5", "--log", logPath});
  const std::string ready = program.FirstLine();
  EXPECT_EQ(ready.rfind("display-sim: ready tcp 127.0.60.40:9761 serial " + link + " /dev/pts/", 0),
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
