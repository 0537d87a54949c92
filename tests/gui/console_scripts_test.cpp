// tarnexctl beside a running console: the console owns the display links, so a script's
// request runs through it, on the console's own connections. Both are processes of their own
// (operated-console and tarnexctl) sharing one runtime and configuration folder, as on an
// operator's desktop.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "display-sim/display_fleet.h"
#include "platform/owner_link.h"
#include "support/child_process.h"
#include "support/history_lines.h"
#include "support/loopback_block.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::Loopback;
using Clock = std::chrono::steady_clock;

// Three labelled displays in one group, "Hall".
std::string HallConfig(const std::vector<std::string>& displays) {
  std::ostringstream text;
  text << "[Communication]\nm_docCommunicationTrue=1\nm_docCommunicationSelect=1\n"
       << "[VALUE]\nm_docSocketNumber=" << displays.size() << "\n[TREENAME]\n";
  for (size_t i = 0; i < displays.size(); ++i)
    text << i << "=[D" << i << "]" << displays[i] << "\n";
  text << "[SINGLE]\n";
  for (size_t i = 0; i < displays.size(); ++i) text << i << "=" << displays[i] << "\n";
  text << "[GROUPCOUNT]\nm_docGroupNumCount=1\n[GROUPCHILDCOUNT]\n0=" << displays.size()
       << "\n[GROUPNAME]\n0=Hall\n[GROUPCHILDNAME]\n";
  for (size_t i = 0; i < displays.size(); ++i)
    text << i << "=[" << i + 1 << "][D" << i << "]" << displays[i] << "\n";
  text << "[GROUPIPLIST]\n";
  for (size_t i = 0; i < displays.size(); ++i) text << i << "=" << displays[i] << "\n";
  return text.str();
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class ConsoleScriptsTest : public ::testing::Test {
 protected:
  struct Outcome {
    int status;
    std::string out;
    std::chrono::milliseconds took;
  };

  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      displays.push_back(Loopback(61 + i));
      fleet.Add({.address = displays.back()});
    }
  }

  // The console on the Hall, started; `prepare` sees the folder before it starts.
  void StartConsole(std::function<void(const std::string&)> prepare = {}) {
    console = std::make_unique<ChildProcess>(
        OPERATED_CONSOLE_PROGRAM, std::vector<std::string>{"idle"},
        ChildProcess::Options{.captureStderr = true, .prepare = [&](const std::string& folder) {
                                std::ofstream(folder + "QXMNTConfig.ini") << HallConfig(displays);
                                if (prepare) prepare(folder);
                              }});
  }

  std::unique_ptr<ChildProcess> Script(const std::vector<std::string>& args) {
    return std::make_unique<ChildProcess>(TARNEXCTL_PROGRAM, args,
                                          ChildProcess::Options{.sharedFolder = console->Folder()});
  }

  Outcome Run(const std::vector<std::string>& args) {
    const auto started = Clock::now();
    auto script = Script(args);
    const int status = script->Wait(40s);
    return {status, Joined(script->Lines()),
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started)};
  }

  std::vector<int> Connections() {
    std::vector<int> counts;
    for (const std::string& address : displays)
      counts.push_back(fleet.Find(address)->Connections());
    return counts;
  }

  bool Sent(const std::string& address, const std::string& command) {
    for (const std::string& sent : fleet.CommandsTo(address)) {
      if (sent == command) return true;
    }
    return false;
  }

  std::vector<std::string> displays;
  sim::DisplayFleet fleet;
  std::unique_ptr<ChildProcess> console;
};

// Displays may drop a second connection: while the console runs, a script never opens one.
// Its work shows in the console's history as the window's own group commands do.
TEST_F(ConsoleScriptsTest, ScriptsRunOnTheConsolesConnectionsAndItsHistory) {
  StartConsole();
  ASSERT_TRUE(console->WaitForLine("window", 60s)) << console->StandardError();
  const std::vector<int> before = Connections();
  EXPECT_EQ(before, std::vector<int>({1, 1, 1}));

  const Outcome off = Run({"--json", "power", "off", "group:Hall"});
  EXPECT_EQ(off.status, 0) << off.out;
  EXPECT_NE(off.out.find("\"total\": 3"), std::string::npos) << off.out;
  const Outcome status = Run({"status", "D1"});
  EXPECT_EQ(status.status, 0) << status.out;
  EXPECT_NE(status.out.find(displays[1]), std::string::npos) << status.out;
  EXPECT_EQ(Run({"status", "name:Nowhere"}).status, 10);

  EXPECT_EQ(Connections(), before);
  for (const std::string& address : displays) EXPECT_TRUE(Sent(address, "ka 01 00\n")) << address;

  console->Write("close\n");
  ASSERT_EQ(console->Wait(10s), 0) << console->StandardError();
  std::ifstream in(console->Folder() + "Network_HistoryReport.txt", std::ios::binary);
  std::ostringstream history;
  history << in.rdbuf();
  const std::vector<std::string> lines = testing::HistoryOperations(history.str());
  for (const std::string& address : displays) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), address + " Power Off"), 1) << address;
  }
}

// While the console owns the folder, schedule edits go to it: the file keeps them only once
// the console writes its configuration at the close.
TEST_F(ConsoleScriptsTest, ScheduleEditsGoToTheRunningConsole) {
  StartConsole();
  ASSERT_TRUE(console->WaitForLine("window", 60s)) << console->StandardError();
  const auto stored = [this] {
    std::ifstream in(console->Folder() + "QXMNTConfig.ini", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  };
  EXPECT_EQ(Run({"schedule", "add", "Night", "--target", "group:Hall", "--action", "power off",
                 "--at", "23:00", "--days", "mon"})
                .status,
            0);
  const Outcome listed = Run({"--json", "schedule", "next"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_NE(listed.out.find("\"name\": \"Night\""), std::string::npos) << listed.out;
  EXPECT_EQ(stored().find("Night"), std::string::npos);
  console->Write("close\n");
  ASSERT_EQ(console->Wait(10s), 0) << console->StandardError();
  EXPECT_NE(stored().find("0=Night"), std::string::npos) << stored();
}

// A console started while a direct run holds the links waits behind its splash, and a
// script asking meanwhile hears that the owner is busy; once the run ends the console starts
// and answers scripts itself.
TEST_F(ConsoleScriptsTest, AConsoleWaitsForTheOwnerLockBehindItsSplash) {
  std::unique_ptr<OwnerLock> held;
  StartConsole([&held](const std::string& folder) {
    const char* saved = ::getenv("XDG_RUNTIME_DIR");
    const std::string kept = saved != nullptr ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    const OwnerPathsResult paths = OwnerPathsFor(folder);
    if (saved != nullptr) ::setenv("XDG_RUNTIME_DIR", kept.c_str(), 1);
    if (saved == nullptr) ::unsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(paths.paths) << paths.error;
    held = std::make_unique<OwnerLock>(paths.paths->lock);
    ASSERT_EQ(held->TryTake(), OwnerLock::Outcome::kTaken);
  });
  ASSERT_TRUE(held && held->Held());

  EXPECT_FALSE(console->WaitForLine("window", 1500ms));
  EXPECT_EQ(Run({"status", "group:Hall"}).status, 8);
  EXPECT_EQ(Connections(), std::vector<int>({0, 0, 0}));

  held->Release();
  ASSERT_TRUE(console->WaitForLine("window", 60s)) << console->StandardError();
  const Outcome status = Run({"status", "group:Hall"});
  EXPECT_EQ(status.status, 0) << status.out;
  EXPECT_EQ(Connections(), std::vector<int>({1, 1, 1}));
}

// The console's close ends a request it runs, however long the script meant to wait: the
// script hears within two seconds that its owner went.
TEST_F(ConsoleScriptsTest, AConsoleCloseEndsAWaitingScriptAtOnce) {
  StartConsole();
  ASSERT_TRUE(console->WaitForLine("window", 60s)) << console->StandardError();
  auto script = Script({"--timeout", "60", "power", "off", "--wait", displays[0]});
  for (int i = 0; i < 500 && !Sent(displays[0], "ka 01 00\n"); ++i)
    std::this_thread::sleep_for(10ms);
  // It reports on again after the power off, as a display that will not go off does.
  for (int i = 0; i < 5; ++i) {
    fleet.Find(displays[0])->SetValue("ka", "01");
    std::this_thread::sleep_for(100ms);
  }

  const auto closed = Clock::now();
  console->Write("close\n");
  const int status = script->Wait(5s);
  const auto took = Clock::now() - closed;

  EXPECT_TRUE(status == 8 || status == 3) << status;
  EXPECT_LT(took, 2s);
  EXPECT_EQ(console->Wait(10s), 0) << console->StandardError();
  EXPECT_LT(Clock::now() - closed, 2s);  // nor did the request hold up the console's own end
}

// The schedules run beside the window: at its minute an entry powers the Hall off, and the
// Schedule dialog's log shows it. The console's schedule clock is a file the test writes.
TEST_F(ConsoleScriptsTest, AScheduledEntryPowersTheHallOffAtItsMinute) {
  const std::time_t minute = (std::time(nullptr) / 60 + 10) * 60;
  tm local{};
  localtime_r(&minute, &local);
  char at[8] = {};
  std::strftime(at, sizeof at, "%H:%M", &local);
  const auto setClock = [](const std::string& folder, std::time_t when) {
    std::ofstream(folder + "clock.new") << when << "\n";
    std::filesystem::rename(folder + "clock.new", folder + "clock");
  };
  console = std::make_unique<ChildProcess>(
      OPERATED_CONSOLE_PROGRAM, std::vector<std::string>{"schedule"},
      ChildProcess::Options{.captureStderr = true, .prepare = [&](const std::string& folder) {
                              std::ofstream(folder + "QXMNTConfig.ini")
                                  << HallConfig(displays)
                                  << "[SCHEDULECOUNT]\nm_docScheduleCount=1\n"
                                  << "[SCHEDULENAME]\n0=Evening\n[SCHEDULETARGET]\n0=group:Hall\n"
                                  << "[SCHEDULEACTION]\n0=POWER OFF\n[SCHEDULEWHEN]\n0=WEEKLY "
                                  << at
                                  << " mon,tue,wed,thu,fri,sat,sun\n[SCHEDULEFLAGS]\n0=enabled\n";
                              setClock(folder, minute - 30);
                            }});
  ASSERT_TRUE(console->WaitForLine("dialog", 60s)) << console->StandardError();
  std::this_thread::sleep_for(300ms);  // a few looks at the schedules before the minute
  for (const std::string& address : displays) EXPECT_FALSE(Sent(address, "ka 01 00\n"));

  setClock(console->Folder(), minute + 5);
  EXPECT_TRUE(console->WaitForLine("run: Evening: POWER OFF group:Hall: 3 of 3 done", 20s));
  for (const std::string& address : displays) EXPECT_TRUE(Sent(address, "ka 01 00\n")) << address;
  console->Write("close\n");
  EXPECT_EQ(console->Wait(10s), 0) << console->StandardError();
}

// With no hook at all: the whole process's clock shifted (Debian's faketime) to ten seconds
// before the entry's minute, the console runs it at that minute.
TEST_F(ConsoleScriptsTest, AShiftedSystemClockRunsTheEntryAtItsMinute) {
  if (::access("/usr/bin/faketime", X_OK) != 0) GTEST_SKIP() << "faketime is not installed";
  const char* asan = ::getenv("ASAN_OPTIONS");
  const std::string keptAsan = asan != nullptr ? asan : "";
  // The sanitizer's runtime must come first among the libraries; faketime's is loaded ahead.
  ::setenv("ASAN_OPTIONS", (keptAsan + ":verify_asan_link_order=0").c_str(), 1);
  ::setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
  console = std::make_unique<ChildProcess>(
      "/usr/bin/faketime",
      std::vector<std::string>{"-f", "@2026-12-14 07:29:50", OPERATED_CONSOLE_PROGRAM, "system"},
      ChildProcess::Options{
          .captureStderr = true, .prepare = [&](const std::string& folder) {
            std::ofstream(folder + "QXMNTConfig.ini")
                << HallConfig(displays) << "[SCHEDULECOUNT]\nm_docScheduleCount=1\n"
                << "[SCHEDULENAME]\n0=Morning\n[SCHEDULETARGET]\n0=group:Hall\n"
                << "[SCHEDULEACTION]\n0=POWER OFF\n[SCHEDULEWHEN]\n0=WEEKLY 07:30 mon\n"
                << "[SCHEDULEFLAGS]\n0=enabled\n";
          }});
  ::unsetenv("FAKETIME_DONT_FAKE_MONOTONIC");
  ::setenv("ASAN_OPTIONS", keptAsan.c_str(), 1);
  if (asan == nullptr) ::unsetenv("ASAN_OPTIONS");
  ASSERT_TRUE(console->WaitForLine("dialog", 60s)) << console->StandardError();
  EXPECT_TRUE(console->WaitForLine("run: Morning: POWER OFF group:Hall: 3 of 3 done", 40s))
      << console->StandardError();
  for (const std::string& address : displays) EXPECT_TRUE(Sent(address, "ka 01 00\n")) << address;
  console->Write("close\n");
  EXPECT_EQ(console->Wait(10s), 0);
}

}  // namespace
}  // namespace tarnex
