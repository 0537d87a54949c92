// The console asked to end while it waits for something: a display, the operator at a box or a
// dialog, a disk it cannot write, a worker. It runs in a process of its own (operated-console:
// the application's start and run, with the login typed into its dialog), so that what is
// checked is what a session manager or a shell sees: the process's end, its exit status and
// its standard error, and the boxes it showed.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/login_file.h"
#include "display-sim/display_fleet.h"
#include "support/child_process.h"
#include "support/loopback_block.h"
#include "support/scripted_smtp_server.h"
#include "support/stalled_resolver.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::Loopback;

// The end a close must keep, from the request to the process's exit.
constexpr auto kCloseDeadline = 2s;

template <typename Condition>
bool WaitUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string NetworkConfig(const std::vector<std::string>& displays) {
  std::string text = "[Communication]\nm_docCommunicationTrue=1\nm_docCommunicationSelect=1\n";
  text += "[VALUE]\nm_docSocketNumber=" + std::to_string(displays.size()) + "\n[SINGLE]\n";
  for (size_t i = 0; i < displays.size(); ++i) {
    text += std::to_string(i) + "=" + displays[i] + "\n";
  }
  return text;
}

class ConsoleEndTest : public ::testing::Test {
 protected:
  // A request to end, as made from outside.
  struct Request {
    const char* name;
    std::function<void(ChildProcess&)> make;
  };
  static Request Signal(const char* name, int signal) {
    return {name, [signal](ChildProcess& console) { console.Signal(signal); }};
  }
  static Request Say(const char* name, const char* line) {
    return {name, [line](ChildProcess& console) { console.Write(line); }};
  }
  struct End {
    int status;  // as ChildProcess::Wait gives it
    std::chrono::milliseconds took;
  };

  // The console on these stored displays, in the scene (see operated_console.cpp), running
  // with its start-up connects done.
  void Start(const char* scene, const std::vector<std::string>& displays,
             const std::string& more = "") {
    console = std::make_unique<ChildProcess>(
        OPERATED_CONSOLE_PROGRAM, std::vector<std::string>{scene},
        ChildProcess::Options{.captureStderr = true, .prepare = [&](const std::string& folder) {
                                std::ofstream(folder + "QXMNTConfig.ini")
                                    << NetworkConfig(displays) << more;
                              }});
    ASSERT_TRUE(console->WaitForLine("window", 60s)) << console->StandardError();
  }

  // Makes the request and waits for the process to end.
  End EndBy(const Request& request) {
    const auto asked = std::chrono::steady_clock::now();
    request.make(*console);
    const int status = console->Wait(15s);
    return {status, std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - asked)};
  }

  // Every box the console showed, in order.
  std::vector<std::string> Boxes() {
    std::vector<std::string> boxes;
    for (const std::string& line : console->Lines()) {
      if (line.starts_with("box: ")) boxes.push_back(line.substr(5));
    }
    return boxes;
  }

  // A file takes the configuration folder's place: nothing can be written there any more,
  // whoever runs the test (root included).
  std::string TakeTheFolderAway() {
    const std::string folder = console->Folder();
    std::filesystem::remove_all(folder);
    std::ofstream(folder.substr(0, folder.size() - 1)) << "not a folder\n";
    return folder;
  }

  sim::DisplayFleet fleet;
  std::unique_ptr<ChildProcess> console;
};

// Nothing the console waits for holds its end, and none of it shows a box then: the input
// query of a silent display (a read of three seconds, cancelled), a box, a modal dialog.
TEST_F(ConsoleEndTest, AnEndDoesNotWaitForAQueryABoxOrADialog) {
  const std::string silent = Loopback(1);
  const std::string refusing = Loopback(2);
  fleet.Add({.address = silent, .silent = true});
  fleet.Add({.address = refusing, .refuse = true});
  struct Case {
    const char* scene;
    std::string display;
    const char* shown;  // the line that says the box or dialog is open; none for the query
    Request request;
  };
  for (const Case& with :
       {Case{"select", silent, nullptr, Say("window close", "close\n")},
        Case{"select", silent, nullptr, Signal("SIGTERM", SIGTERM)},
        Case{"select", refusing, "box: Connection Fail", Signal("SIGTERM", SIGTERM)},
        Case{"select", refusing, "box: Connection Fail", Say("logout", "logout\n")},
        Case{"setting", refusing, "dialog", Signal("SIGTERM", SIGTERM)}}) {
    SCOPED_TRACE(std::string(with.display) + " " + (with.shown ? with.shown : "query") + ", " +
                 with.request.name);
    const size_t queried = fleet.CommandsTo(silent).size();
    Start(with.scene, {with.display});
    if (with.shown != nullptr) {
      ASSERT_TRUE(console->WaitForLine(with.shown, 10s));
    } else {
      ASSERT_TRUE(WaitUntil([&] { return fleet.CommandsTo(silent).size() > queried; }));
      ASSERT_EQ(fleet.CommandsTo(silent).back(), "xb 01 ff\n");
    }
    const size_t boxesBefore = Boxes().size();

    const End end = EndBy(with.request);
    EXPECT_EQ(end.status, 0);
    EXPECT_LT(end.took, kCloseDeadline);
    EXPECT_EQ(Boxes().size(), boxesBefore);
  }
}

// A mail server that greets and then says nothing more holds a test mail for its whole
// time-out; the close gives the mail up.
TEST_F(ConsoleEndTest, ACloseDoesNotWaitForAHungMailServer) {
  testing::ScriptedSmtpServer hung("220 ready\r\n", {"250 hello\r\n"});
  Start(
      "mail", {},
      "[Alarm]\nTO=ops@example.org\nFROM=console@example.org\nSMTPServer=" + hung.Server() + "\n");
  ASSERT_TRUE(console->WaitForLine("dialog", 10s));
  ASSERT_TRUE(WaitUntil([&] { return hung.Received() > 20; }));  // EHLO, MAIL FROM: in flight

  const End end = EndBy(Say("window close", "close\n"));
  EXPECT_EQ(end.status, 0);
  EXPECT_LT(end.took, kCloseDeadline);
  EXPECT_EQ(console->StandardError().find("did not end in time"), std::string::npos);
}

// A mail server name that the resolver sits on holds the test mail before any connection;
// the close ends it all the same, in time and with success.
TEST_F(ConsoleEndTest, ACloseDoesNotWaitForTheResolver) {
  Start("mail", {},
        std::string("[Alarm]\nTO=ops@example.org\nFROM=console@example.org\nSMTPServer=") +
            testing::kStalledName + "\n");
  ASSERT_TRUE(console->WaitForLine("dialog", 10s));
  std::this_thread::sleep_for(300ms);  // the resolving has begun

  const End end = EndBy(Say("window close", "close\n"));
  EXPECT_EQ(end.status, 0);
  EXPECT_LT(end.took, 1s);
  EXPECT_EQ(console->StandardError().find("did not end in time"), std::string::npos);
}

// A changed login is on disk once OK is pressed: a kill right after it cannot bring the old
// one back.
TEST_F(ConsoleEndTest, AChangedLoginOutlivesAKill) {
  Start("manager", {});
  ASSERT_TRUE(console->WaitForLine("dialog", 10s));
  const std::string loginFile = console->Folder() + "QXMNTLoginConfig.ini";
  EXPECT_EQ(EndBy(Signal("SIGKILL", SIGKILL)).status, 128 + SIGKILL);
  EXPECT_EQ(ReadLoginFile(loginFile), (LoginCredentials{"Operator", "n3w"}));
}

// At the end of a session nobody reads a box: the files that could not be written are named
// on standard error, and the exit status says the save failed.
TEST_F(ConsoleEndTest, AFailedSaveAtTheEndOfTheSessionIsToldOnStandardError) {
  for (const Request& request :
       {Signal("SIGTERM", SIGTERM), Signal("SIGHUP", SIGHUP), Say("logout", "logout\n")}) {
    SCOPED_TRACE(request.name);
    Start("idle", {});
    const std::string folder = TakeTheFolderAway();

    const End end = EndBy(request);
    EXPECT_EQ(end.status, 1);
    EXPECT_LT(end.took, kCloseDeadline);
    EXPECT_TRUE(Boxes().empty());
    const std::string told = console->StandardError();
    for (const char* file : {"QXMNTLoginConfig.ini", "QXMNTConfig.ini"}) {
      EXPECT_NE(told.find("tarnex-manager: the configuration could not be saved to " + folder +
                          file + "\n"),
                std::string::npos)
          << told;
    }
  }
}

// The operator who closes the window hears of a failed save once, in one box naming every
// file; the box may wait as long as it likes, and a signal meanwhile ends the process at once.
TEST_F(ConsoleEndTest, AWindowCloseThatCannotSaveShowsOneBoxThatASignalEnds) {
  Start("idle", {});
  const std::string folder = TakeTheFolderAway();
  console->Write("close\n");
  ASSERT_TRUE(console->WaitForLine("box: The configuration could not be saved to:\\n" + folder +
                                       "QXMNTLoginConfig.ini\\n" + folder +
                                       "QXMNTSerialConfig.ini\\n" + folder + "QXMNTConfig.ini",
                                   10s))
      << ::testing::PrintToString(console->Lines());
  std::this_thread::sleep_for(kCloseDeadline);  // the box's wait does not count

  const End end = EndBy(Signal("SIGTERM", SIGTERM));
  EXPECT_EQ(end.status, 1);
  EXPECT_LT(end.took, kCloseDeadline);
  EXPECT_EQ(Boxes().size(), 1u);
  const std::string told = console->StandardError();
  EXPECT_NE(told.find("could not be saved to " + folder + "QXMNTConfig.ini\n"), std::string::npos)
      << told;
  EXPECT_EQ(told.find("did not end in time"), std::string::npos) << told;
}

// A worker that does not see the stop holds the close: the deadline ends the process and says
// so, and a second SIGTERM or SIGINT does not even wait for the deadline.
TEST_F(ConsoleEndTest, ACloseHeldUpByAWorkerEndsByTheDeadlineOrASecondSignal) {
  Start("held", {});
  ASSERT_TRUE(console->WaitForLine("held", 10s));
  End end = EndBy(Signal("SIGTERM", SIGTERM));
  EXPECT_EQ(end.status, 1);
  EXPECT_LT(end.took, kCloseDeadline);
  EXPECT_NE(console->StandardError().find("tarnex-manager: the close did not end in time"),
            std::string::npos);

  Start("held", {});
  ASSERT_TRUE(console->WaitForLine("held", 10s));
  end = EndBy({"SIGTERM, SIGINT", [](ChildProcess& child) {
                 child.Signal(SIGTERM);
                 std::this_thread::sleep_for(200ms);
                 child.Signal(SIGINT);
               }});
  EXPECT_EQ(end.status, 128 + SIGINT);
  EXPECT_LT(end.took, 1s);
}

}  // namespace
}  // namespace tarnex
