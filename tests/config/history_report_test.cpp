#include "config/history_report.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tarnex {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class HistoryReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarnex-history-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = std::string(pattern) + "/";
  }
  void TearDown() override {
    ClearHistoryFailureHook(this);
    std::system(("rm -rf '" + folder + "'").c_str());
  }

  std::string folder;
  LocalDateTime when{2026, 3, 7, 9, 5, 7};
  CHistoryReport report{"", [this] { return when; }};
};

TEST_F(HistoryReportTest, LinesHaveTheFixedLayoutOfEachMode) {
  EXPECT_EQ(FormatHistoryLine(1, when, "10.0.0.5", "Power On"),
            "2026/3/7  09:05:07    IP Address : 10.0.0.5    Operation : Power On\r\n");
  EXPECT_EQ(FormatHistoryLine(2, when, "0f", "Power Off"),
            "2026/3/7  09:05:07    Set ID : 0f    Operation : Power Off\r\n");
  const LocalDateTime late{2026, 12, 31, 23, 59, 0};
  EXPECT_EQ(FormatHistoryLine(1, late, "", "Clear Message"),
            "2026/12/31  23:59:00    IP Address :     Operation : Clear Message\r\n");
}

TEST_F(HistoryReportTest, FilesAreCreatedThenOnlyAppendedTo) {
  report.SetFolder(folder);
  const std::string network = folder + "Network_HistoryReport.txt";
  {
    std::ofstream earlier(network, std::ios::binary);
    earlier << "earlier line\r\n";
  }
  report.Append(1, "127.0.0.5", "Power On");
  when.second = 8;
  report.Append(1, "127.0.0.5", "Power Off");
  report.Append(2, "05", "Power On");
  report.Append(5, "x", "nothing in an unknown mode");

  EXPECT_EQ(ReadAll(network),
            "earlier line\r\n"
            "2026/3/7  09:05:07    IP Address : 127.0.0.5    Operation : Power On\r\n"
            "2026/3/7  09:05:08    IP Address : 127.0.0.5    Operation : Power Off\r\n");
  EXPECT_EQ(ReadAll(folder + "Serial_HistoryReport.txt"),
            "2026/3/7  09:05:08    Set ID : 05    Operation : Power On\r\n");
}

TEST_F(HistoryReportTest, AnUnwritableFolderIsNotMade) {
  report.SetFolder(folder + "missing/sub/");
  report.Append(1, "127.0.0.5", "Power On");  // no throw, no crash, nothing created
  struct stat info {};
  EXPECT_NE(::stat((folder + "missing").c_str(), &info), 0);
}

// A report the console may not write (made read-only, which root could write anyway) keeps
// its lines for the next one; the operator hears of it once, not at every line.
TEST_F(HistoryReportTest, AFailedAppendIsToldOnceAndRetriedAtTheNextLine) {
  report.SetFolder(folder);
  const std::string network = folder + "Network_HistoryReport.txt";
  std::ofstream(network, std::ios::binary) << "kept\r\n";
  ASSERT_EQ(::chmod(network.c_str(), 0444), 0);
  std::vector<std::string> told;
  SetHistoryFailureHook(this, [&told](const std::string& path) { told.push_back(path); });
  std::string expected = "kept\r\n";
  ::testing::internal::CaptureStderr();
  for (const char* operation : {"Power On", "Power Off"}) {
    report.Append(1, "127.0.0.5", operation);
    expected += FormatHistoryLine(1, when, "127.0.0.5", operation);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), HistoryFailureText(network) + "\n");
  EXPECT_EQ(told, std::vector<std::string>{network});
  EXPECT_EQ(ReadAll(network), "kept\r\n");
  ASSERT_EQ(::chmod(network.c_str(), 0644), 0);
  EXPECT_TRUE(CHistoryReport::Write({*report.Prepare(1, "127.0.0.5", "Status")}));
  EXPECT_EQ(ReadAll(network), expected + FormatHistoryLine(1, when, "127.0.0.5", "Status"));
  EXPECT_EQ(told.size(), 1u);
}

TEST_F(HistoryReportTest, ConcurrentAppendsNeverInterleaveInsideALine) {
  report.SetFolder(folder);
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([this, t] {
      const std::string operation(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) report.Append(1, "127.0.0.9", operation);
    });
  }
  for (auto& writer : writers) writer.join();

  std::istringstream lines(ReadAll(folder + "Network_HistoryReport.txt"));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_EQ(line.back(), '\r');
    const std::string operation = line.substr(line.find("Operation : ") + 12, 200);
    EXPECT_EQ(operation, std::string(200, operation[0]));
  }
  EXPECT_EQ(count, kThreads * kLines);
}

// Whatever sits where the report belongs, only a regular file is written: a FIFO nobody reads
// must not hold the console.
TEST_F(HistoryReportTest, AFifoInPlaceOfTheReportIsSkipped) {
  const std::string fifo = folder + "Network_HistoryReport.txt";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  CHistoryReport inFolder(folder, [this] { return when; });
  auto append = std::async(std::launch::async, [&] { inFolder.Append(1, "10.0.0.5", "Power On"); });
  const bool done = append.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  // A reader lets a stuck open go on, and takes the line so that the write does not fail.
  const int reader = done ? -1 : ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  EXPECT_TRUE(done);
  append.wait();
  if (reader >= 0) ::close(reader);
}

}  // namespace
}  // namespace tarnex
