#include "display-sim/serial_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "serial_test_client.h"

namespace tarnex::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::string> Names(const CommandLog& log) {
  std::vector<std::string> names;
  for (const LogEntry& entry : log.Entries()) names.push_back(entry.address);
  return names;
}

TEST(SerialLine, EachListedSetIdAnswersWithItsOwnStateAndOthersStaySilent) {
  CommandLog log;
  SerialLine line({.setIds = {"01", "0f"}}, log);
  testing::SerialTestClient client(line.Path());
  ASSERT_TRUE(client.IsOpen());
  EXPECT_EQ(client.Exchange("kh 01 20\n"), "h 01 OK20x");
  EXPECT_EQ(client.Exchange("kh 0f ff\n"), "h 01 OK32x");  // its own, untouched brightness
  EXPECT_EQ(client.Exchange("kh 01 ff\n"), "h 01 OK20x");
  EXPECT_EQ(client.Exchange("kh 0F ff\n"), "h 01 OK32x");  // set IDs in either case
  EXPECT_EQ(client.Exchange("ka 07 ff\n"), "");            // nobody there
  EXPECT_EQ(client.Exchange("ka 00 01\n"), "");            // everyone, so nobody answers
  EXPECT_EQ(client.Exchange("kz 01 ff\n"), "z 01 NGx");
  EXPECT_EQ(line.Value("01", "kh"), "20");
  EXPECT_EQ(line.Value("0f", "kh"), "32");
  EXPECT_EQ(Names(log),
            (std::vector<std::string>{"serial:01", "serial:0f", "serial:01", "serial:0f",
                                      "serial:07", "serial:00", "serial:01"}));
  EXPECT_EQ(log.Entries().front().command, "kh 01 20\n");
}

TEST(SerialLine, RepliesCarryTheOwnSetIdWhenAsked) {
  CommandLog log;
  SerialLine line({.setIds = {"05"}, .replyOwnSetId = true}, log);
  testing::SerialTestClient client(line.Path());
  EXPECT_EQ(client.Exchange("ka 05 ff\n"), "a 05 OK01x");
}

TEST(SerialLine, FaultsSilenceOneDisplayOrSplitItsReplies) {
  CommandLog log;
  SerialLine line({.setIds = {"02", "03"}}, log);
  testing::SerialTestClient client(line.Path());
  line.SetSilent("02", true);
  EXPECT_EQ(client.Exchange("kh 02 10\n"), "");
  EXPECT_EQ(line.Value("02", "kh"), "10");  // heard, not answered
  EXPECT_EQ(client.Exchange("kh 03 ff\n"), "h 01 OK32x");
  line.SetSplitReplies(true);
  EXPECT_EQ(client.Exchange("fa 03 ff ff ff\n").size(), 14u);
  // Noise longer than any command is dropped; the line answers the next command.
  EXPECT_EQ(client.Exchange(std::string(1000, 'z')), "");
  line.SetSplitReplies(false);
  EXPECT_EQ(client.Exchange("\nkh 03 ff\n"), "h 01 OK32x");
}

TEST(SerialLine, SetIdsMustBeDisplays) {
  CommandLog log;
  for (const char* bad : {"00", "1", "0g", "123", ""}) {
    EXPECT_THROW(SerialLine({.setIds = {bad}}, log), std::invalid_argument) << bad;
  }
}

class SerialLineLink : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("serial_line_link_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    link_ = (dir_ / "ttyX").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
  std::string link_;
  CommandLog log_;
};

TEST_F(SerialLineLink, LinkReplacesAStaleOneAndGoesWithTheLine) {
  fs::create_symlink("/dev/pts/nonexistent", link_);
  {
    SerialLine line({.linkPath = link_, .setIds = {"05"}}, log_);
    EXPECT_EQ(fs::read_symlink(link_), line.Path());
    EXPECT_EQ(line.LinkPath(), link_);
    testing::SerialTestClient client(link_);
    EXPECT_EQ(client.Exchange("ka 05 ff\n"), "a 01 OK01x");
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link_)));
}

TEST_F(SerialLineLink, AFileThatIsNoLinkIsLeftAlone) {
  std::ofstream(link_) << "keep";
  EXPECT_THROW(SerialLine({.linkPath = link_, .setIds = {"05"}}, log_), std::system_error);
  std::ifstream file(link_);
  std::string text;
  file >> text;
  EXPECT_EQ(text, "keep");
}

TEST_F(SerialLineLink, ALinkTakenOverByAnotherLineStays) {
  auto first =
      std::make_unique<SerialLine>(SerialLineOptions{.linkPath = link_, .setIds = {"05"}}, log_);
  SerialLine second({.linkPath = link_, .setIds = {"06"}}, log_);
  first.reset();
  EXPECT_EQ(fs::read_symlink(link_), second.Path());
}

}  // namespace
}  // namespace tarnex::sim
