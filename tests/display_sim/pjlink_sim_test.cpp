#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "display-sim/display_fleet.h"
#include "support/loopback_block.h"
#include "support/sim_program.h"
#include "test_client.h"

// PJLink displays on port 0, so that a real PJLink service on the machine cannot collide.
namespace tarnex::sim {
namespace {

using tarnex::testing::Loopback;
using testing::TestClient;
using namespace std::chrono_literals;

// A connection whose greeting has been read and checked.
std::unique_ptr<TestClient> Greeted(const PjlinkDisplay& display, const std::string& greeting) {
  auto client = TestClient::Connect(display.Address(), display.Port());
  if (client && client->ReadUntil('\r') != greeting) client.reset();
  return client;
}

std::string Ask(TestClient& client, std::string_view command) {
  return client.Send(command) ? client.ReadUntil('\r') : "<send failed>";
}

TEST(PjlinkSim, AuthenticationWantsTheDigestOnTheFirstCommandOnly) {
  DisplayFleet fleet;
  PjlinkDisplay& open = fleet.AddPjlink({.address = Loopback(1), .port = 0});
  auto client = Greeted(open, "PJLINK 0\r");
  ASSERT_TRUE(client);
  EXPECT_EQ(Ask(*client, "%1CLSS ?\r"), "%1CLSS=1\r");

  PjlinkDisplay& locked = fleet.AddPjlink(
      {.address = Loopback(2), .port = 0, .password = "JBMIAProjectorLink", .random = "498e4a67"});
  client = Greeted(locked, "PJLINK 1 498e4a67\r");
  ASSERT_TRUE(client);
  EXPECT_EQ(Ask(*client, "5d8409bc1c3fa39749434aa3a5c38682%1POWR ?\r"), "%1POWR=0\r");
  EXPECT_EQ(Ask(*client, "%1INF1 ?\r"), "%1INF1=TARNEX\r");
  EXPECT_EQ(fleet.CommandsTo(Loopback(2)),
            (std::vector<std::string>{"5d8409bc1c3fa39749434aa3a5c38682%1POWR ?\r", "%1INF1 ?\r"}));

  // One digit off, and no digest at all: both refused, and the connection ends.
  for (const char* first : {"5d8409bc1c3fa39749434aa3a5c38683%1POWR ?\r", "%1POWR ?\r"}) {
    client = Greeted(locked, "PJLINK 1 498e4a67\r");
    ASSERT_TRUE(client);
    EXPECT_EQ(Ask(*client, first), "PJLINK ERRA\r") << first;
    EXPECT_TRUE(client->WaitClosed());
  }
  EXPECT_EQ(locked.Power(), 0);
}

TEST(PjlinkSim, PowerWarmsUpAndCoolsDownAndInputsWantTheDisplayOn) {
  DisplayFleet fleet;
  PjlinkDisplay& display =
      fleet.AddPjlink({.address = Loopback(3), .port = 0, .warmUpMs = 300, .coolDownMs = 0});
  auto client = Greeted(display, "PJLINK 0\r");
  ASSERT_TRUE(client);
  EXPECT_EQ(Ask(*client, "%1INPT 32\r"), "%1INPT=ERR3\r");
  EXPECT_EQ(Ask(*client, "%1INPT ?\r"), "%1INPT=31\r");  // queries still answered
  EXPECT_EQ(Ask(*client, "%1POWR 1\r"), "%1POWR=OK\r");
  EXPECT_EQ(Ask(*client, "%1POWR ?\r"), "%1POWR=3\r");
  EXPECT_EQ(Ask(*client, "%1POWR 0\r"), "%1POWR=ERR3\r");  // no change while warming up
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(Ask(*client, "%1POWR ?\r"), "%1POWR=1\r");
  EXPECT_EQ(Ask(*client, "%1INPT 41\r"), "%1INPT=ERR2\r");  // not among INST
  EXPECT_EQ(Ask(*client, "%1INPT 32\r"), "%1INPT=OK\r");
  EXPECT_EQ(Ask(*client, "%1AVMT 31\r"), "%1AVMT=OK\r");
  EXPECT_EQ(Ask(*client, "%1POWR 2\r"), "%1POWR=ERR2\r");
  EXPECT_EQ(Ask(*client, "%1POWX ?\r"), "%1POWX=ERR1\r");
  EXPECT_EQ(Ask(*client, "%1POWR 0\r"), "%1POWR=OK\r");
  EXPECT_EQ(Ask(*client, "%1POWR ?\r"), "%1POWR=0\r");  // no cooling time: standby at once
  // The state belongs to the display, not to the connection.
  client = Greeted(display, "PJLINK 0\r");
  ASSERT_TRUE(client);
  EXPECT_EQ(Ask(*client, "%1INPT ?\r"), "%1INPT=32\r");
  EXPECT_EQ(Ask(*client, "%1AVMT ?\r"), "%1AVMT=31\r");
}

TEST(PjlinkSim, QuirksChangeTheRepliesAtOnce) {
  DisplayFleet fleet;
  PjlinkDisplay& display =
      fleet.AddPjlink({.address = Loopback(4), .port = 0, .lowerCase = true, .leadingNuls = true});
  auto client = Greeted(display, std::string("\0\0PJLINK 0\r", 11));
  ASSERT_TRUE(client);
  EXPECT_EQ(Ask(*client, "%1POWR ?\r"), std::string("\0\0%1powr=0\r", 11));
  display.SetLowerCase(false);
  display.SetLeadingNuls(false);
  display.SetClassText(true);
  EXPECT_EQ(Ask(*client, "%1CLSS ?\r"), "%1CLSS=Class 1\r");
  display.SetStandbyErr3(true);
  EXPECT_EQ(Ask(*client, "%1NAME ?\r"), "%1NAME=ERR3\r");
  EXPECT_EQ(Ask(*client, "%1POWR ?\r"), "%1POWR=0\r");  // or it could never be switched on
  display.SetStandbyErr3(false);
  display.SetNoLamp(true);
  EXPECT_EQ(Ask(*client, "%1LAMP ?\r"), "%1LAMP=ERR1\r");
  display.SetNoAudio(true);
  EXPECT_EQ(Ask(*client, "%1AVMT 21\r"), "%1AVMT=ERR2\r");
  display.SetErr4(true);
  EXPECT_EQ(Ask(*client, "%1POWR ?\r"), "%1POWR=ERR4\r");
}

TEST(PjlinkSim, ConnectionsEndWhenIdleAfterEachCommandOrOnAnOverlongLine) {
  DisplayFleet fleet;
  PjlinkDisplay& display = fleet.AddPjlink({.address = Loopback(5), .port = 0});
  display.SetIdleCloseSeconds(1);
  auto client = Greeted(display, "PJLINK 0\r");
  ASSERT_TRUE(client);
  std::this_thread::sleep_for(600ms);
  EXPECT_EQ(Ask(*client, "%1POWR ?\r"), "%1POWR=0\r");  // a command restarts the count
  const auto quiet = std::chrono::steady_clock::now();
  EXPECT_TRUE(client->WaitClosed(3s));
  EXPECT_GE(std::chrono::steady_clock::now() - quiet, 900ms);

  display.SetIdleCloseSeconds(0);
  display.SetCloseEachCommand(true);
  client = Greeted(display, "PJLINK 0\r");
  ASSERT_TRUE(client);
  EXPECT_EQ(Ask(*client, "%1POWR ?\r%1POWR ?\r"), "%1POWR=0\r");  // the second is never read
  EXPECT_TRUE(client->WaitClosed());

  display.SetCloseEachCommand(false);
  client = Greeted(display, "PJLINK 0\r");
  ASSERT_TRUE(client);
  EXPECT_EQ(Ask(*client, "%1NAME " + std::string(129, 'x') + "\r"), "");  // 137 bytes
  EXPECT_TRUE(client->WaitClosed());
  EXPECT_EQ(display.Connections(), 3);
}

TEST(PjlinkSim, TheProgramServesPjlinkOnItsPortAndLogsTheCommandsAsReceived) {
  const auto log = std::filesystem::temp_directory_path() /
                   ("pjlink_sim_program_" + std::to_string(::getpid()) + ".log");
  std::filesystem::remove(log);
  testing::Program program({"--pjlink", Loopback(30) + "," + Loopback(31), "--log", log.string(),
                            "--pjlink-password", "JBMIAProjectorLink", "--pjlink-random",
                            "498e4a67", "--silent", Loopback(31)});
  ASSERT_EQ(program.FirstLine(5s),
            "display-sim: ready pjlink " + Loopback(30) + ":4352 " + Loopback(31) + ":4352\n");
  auto client = TestClient::Connect(Loopback(30), 4352);
  ASSERT_TRUE(client);
  EXPECT_EQ(client->ReadUntil('\r'), "PJLINK 1 498e4a67\r");
  EXPECT_EQ(Ask(*client, "5d8409bc1c3fa39749434aa3a5c38682%1POWR 0\r"), "%1POWR=OK\r");
  auto silent = TestClient::Connect(Loopback(31), 4352);
  ASSERT_TRUE(silent);
  EXPECT_EQ(silent->ReadUntil('\r', 300ms), "");  // not even a greeting

  std::ifstream file(log);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), Loopback(30) + "\t5d8409bc1c3fa39749434aa3a5c38682%1POWR 0\\r\n");
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(3s), 0);
}

}  // namespace
}  // namespace tarnex::sim
