#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "display-sim/display_fleet.h"
#include "protocol/command_frame.h"
#include "support/loopback_block.h"
#include "test_client.h"

// Every test process serves loopback addresses of its own (support/loopback_block.h), so that
// tests run in parallel.
namespace tarnex::sim {
namespace {

using tarnex::testing::Loopback;
using testing::TestClient;
using namespace std::chrono_literals;

TEST(SimDisplayTcp, StateIsSharedByEveryConnectionOfADisplay) {
  DisplayFleet fleet;
  SimDisplay& display = fleet.Add({.address = Loopback(1), .kind = 3, .settings = {{"nr", "02"}}});
  auto first = TestClient::Connect(Loopback(1));
  auto second = TestClient::Connect(Loopback(1));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->Exchange("kd 01 01\n"), "d 01 OK01x");
  EXPECT_EQ(second->Exchange("kd 01 ff\n"), "d 01 OK01x");
  EXPECT_EQ(second->Exchange("nu 01 ff\n"), "u 01 OK03x");
  EXPECT_EQ(second->Exchange("nr 01 ff\n"), "r 01 OK02x");
  display.SetFanOk(false);
  EXPECT_EQ(first->Exchange("nt 01 ff\n"), "t 01 OK00x");
  EXPECT_EQ(display.Value("kd"), "01");
  EXPECT_EQ(display.Connections(), 2);
  EXPECT_EQ(fleet.CommandsTo(Loopback(1)),
            (std::vector<std::string>{"kd 01 01\n", "kd 01 ff\n", "nu 01 ff\n", "nr 01 ff\n",
                                      "nt 01 ff\n"}));
}

TEST(SimDisplayTcp, RefusingClosesEverythingAndListeningAgainServes) {
  DisplayFleet fleet;
  SimDisplay& display = fleet.Add({.address = Loopback(2), .refuse = true});
  EXPECT_EQ(TestClient::Connect(Loopback(2)), nullptr);

  display.SetRefuse(false);
  auto client = TestClient::Connect(Loopback(2));
  ASSERT_TRUE(client);
  EXPECT_EQ(client->Exchange("ka 01 ff\n"), "a 01 OK01x");

  display.SetRefuse(true);  // switched off: the open connection dies with it
  EXPECT_TRUE(client->WaitClosed());
  EXPECT_EQ(TestClient::Connect(Loopback(2)), nullptr);

  display.SetRefuse(false);
  client = TestClient::Connect(Loopback(2));
  ASSERT_TRUE(client);
  EXPECT_EQ(client->Exchange("ka 01 00\n"), "a 01 OK00x");
  EXPECT_EQ(display.Connections(), 2);
}

TEST(SimDisplayTcp, SilentDisplayReadsAndLogsButNeverAnswers) {
  DisplayFleet fleet;
  SimDisplay& display = fleet.Add({.address = Loopback(3), .silent = true});
  auto client = TestClient::Connect(Loopback(3));
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->Send("ka 01 00\n"));
  EXPECT_EQ(client->ReadReply(300ms), "");
  EXPECT_EQ(display.Value("ka"), "00");  // it still obeys
  display.SetSilent(false);
  EXPECT_EQ(client->Exchange("ka 01 ff\n"), "a 01 OK00x");
  EXPECT_EQ(fleet.CommandsTo(Loopback(3)).size(), 2U);
}

TEST(SimDisplayTcp, SplitRepliesArriveInSeveralPieces) {
  DisplayFleet fleet;
  fleet.Add({.address = Loopback(4), .splitReplies = true});
  auto client = TestClient::Connect(Loopback(4));
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->Send("fd 01 02 ff ff\n"));
  const auto pieces = client->ReadPieces();
  EXPECT_GE(pieces.size(), 2U);
  std::string whole;
  for (const auto& piece : pieces) whole += piece;
  EXPECT_EQ(whole, "d 01 OK020000x");
}

TEST(SimDisplayTcp, DelayedRepliesComeLateAndInOrder) {
  DisplayFleet fleet;
  fleet.Add({.address = Loopback(5), .delayMs = 150});
  auto client = TestClient::Connect(Loopback(5));
  ASSERT_TRUE(client);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(client->Send("ka 01 00\nkd 01 ff\n"));
  std::string replies = client->ReadReply();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
  if (replies.size() < 20) replies += client->ReadReply();
  EXPECT_EQ(replies, "a 01 OK00xd 01 OK00x");
}

TEST(SimDisplayTcp, CloseAfterAnswersNCommandsThenHangsUp) {
  DisplayFleet fleet;
  SimDisplay& display = fleet.Add({.address = Loopback(6), .closeAfter = 2});
  auto client = TestClient::Connect(Loopback(6));
  ASSERT_TRUE(client);
  EXPECT_EQ(client->Exchange("kd 01 01\n"), "d 01 OK01x");
  // The third command travels with the second; the display never takes it.
  ASSERT_TRUE(client->Send("kd 01 ff\nkd 01 00\n"));
  EXPECT_EQ(client->ReadReply(), "d 01 OK01x");
  EXPECT_TRUE(client->WaitClosed());
  EXPECT_EQ(display.Value("kd"), "01");
  EXPECT_EQ(fleet.CommandsTo(Loopback(6)).size(), 2U);

  display.SetCloseAfter(0);
  client = TestClient::Connect(Loopback(6));
  ASSERT_TRUE(client);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(client->Exchange("kd 01 ff\n"), "d 01 OK01x");
}

TEST(SimDisplayTcp, AHugeLineWithoutLineFeedDropsOnlyThatConnection) {
  DisplayFleet fleet;
  fleet.Add({.address = Loopback(7)});
  auto flood = TestClient::Connect(Loopback(7));
  ASSERT_TRUE(flood);
  flood->Send(std::string(1 << 20, 'k'), 3000ms);  // fails part-way once the display hangs up
  EXPECT_TRUE(flood->WaitClosed());
  auto client = TestClient::Connect(Loopback(7));
  ASSERT_TRUE(client);
  EXPECT_EQ(client->Exchange("ka 01 ff\n"), "a 01 OK01x");
  EXPECT_EQ(fleet.CommandsTo(Loopback(7)), std::vector<std::string>{"ka 01 ff\n"});
}

TEST(SimDisplayTcp, GarbageAndOddLengthRepliesAreCompleteButMatchNothing) {
  DisplayFleet fleet;
  SimDisplay& display = fleet.Add({.address = Loopback(8), .garbage = true});
  auto client = TestClient::Connect(Loopback(8));
  ASSERT_TRUE(client);
  const std::string garbage = client->Exchange("ka 01 ff\n");
  EXPECT_TRUE(protocol::IsReplyComplete(garbage));
  EXPECT_FALSE(protocol::MatchesReply(garbage, "a 01 OK01x"));
  EXPECT_EQ(garbage.find(" OK"), std::string::npos);

  display.SetGarbage(false);
  display.SetOddLength(true);
  const std::string odd = client->Exchange("kg 01 ff\n");
  EXPECT_EQ(odd.size() % 2, 1U) << odd;
  EXPECT_TRUE(protocol::IsReplyComplete(odd));
  EXPECT_FALSE(protocol::MatchesReply(odd, "g 01 OK32x"));
  EXPECT_EQ(client->Exchange("fa 01 ff ff ff\n").size() % 2, 1U);

  display.SetOddLength(false);
  EXPECT_EQ(client->Exchange("kg 01 ff\n"), "g 01 OK32x");
}

TEST(SimDisplayTcp, LogFileHasOneFlushedLinePerCommand) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("display_sim_log_" + std::to_string(::getpid()) + ".log");
  std::filesystem::remove(path);
  {
    DisplayFleet fleet(path.string());
    fleet.Add({.address = Loopback(9)});
    fleet.Add({.address = Loopback(10)});
    auto a = TestClient::Connect(Loopback(9));
    auto b = TestClient::Connect(Loopback(10));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Exchange("ka 01 ff\n"), "a 01 OK01x");
    EXPECT_EQ(b->Exchange("k$ 01 ff\r\n"), "$ 01 OK00x");
    EXPECT_TRUE(b->Send("a\tb\\\x01\n"));
    b->ReadReply();

    // Read while the displays still run: every line is already in the file.
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), Loopback(9) + "\tka 01 ff\\n\n" + Loopback(10) + "\tk$ 01 ff\\r\\n\n" +
                              Loopback(10) + "\ta\\tb\\\\\\x01\\n\n");
    ASSERT_EQ(fleet.Log().size(), 3U);
    EXPECT_EQ(fleet.Log()[2].command, "a\tb\\\x01\n");
    fleet.ClearLog();
    EXPECT_TRUE(fleet.Log().empty());
  }
  std::filesystem::remove(path);
}

TEST(SimDisplayTcp, OnlyLoopbackAddressesCanBeAdded) {
  DisplayFleet fleet;
  EXPECT_THROW(fleet.Add({.address = "10.1.2.3"}), std::invalid_argument);
  EXPECT_THROW(fleet.Add({.address = "0.0.0.0", .refuse = true}), std::invalid_argument);
  EXPECT_THROW(fleet.Add({.address = "localhost"}), std::invalid_argument);
  fleet.Add({.address = Loopback(11)});
  EXPECT_THROW(fleet.Add({.address = Loopback(11)}), std::system_error);  // port taken
  EXPECT_EQ(fleet.Find("10.1.2.3"), nullptr);
}

TEST(SimDisplayTcp, StopsPromptlyWithRepliesPendingAndPeersConnected) {
  auto fleet = std::make_unique<DisplayFleet>();
  fleet->Add({.address = Loopback(12), .delayMs = 60000});
  auto client = TestClient::Connect(Loopback(12));
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->Send("ka 01 ff\n"));
  std::this_thread::sleep_for(50ms);
  const auto start = std::chrono::steady_clock::now();
  fleet.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_TRUE(client->WaitClosed());
}

// Clients on several displays while another thread flips faults and state: every exchange
// ends with a complete reply or a closed connection, and the log stays whole.
TEST(SimDisplayTcp, ConcurrentClientsAndSettersStayConsistent) {
  DisplayFleet fleet;
  SimDisplay& a = fleet.Add({.address = Loopback(13)});
  fleet.Add({.address = Loopback(14), .splitReplies = true});
  std::atomic<bool> done{false};
  std::thread flipper([&] {
    for (int i = 0; !done.load() && i < 2000; ++i) {
      a.SetLampHours(i);
      a.SetOddLength(i % 2 == 0);
      a.SetSignal(i % 3 == 0);
      std::this_thread::sleep_for(1ms);
    }
  });
  std::vector<std::thread> clients;
  std::atomic<int> complete{0};
  for (const std::string& address : {Loopback(13), Loopback(14), Loopback(13), Loopback(14)}) {
    clients.emplace_back([&, address] {
      auto client = TestClient::Connect(address);
      if (!client) return;
      for (int i = 0; i < 20; ++i) {
        if (protocol::IsReplyComplete(client->Exchange(i % 2 ? "nb 01 ff\n" : "kg 01 40\n"))) {
          ++complete;
        }
      }
    });
  }
  for (auto& client : clients) client.join();
  done = true;
  flipper.join();
  EXPECT_EQ(complete.load(), 80);
  EXPECT_EQ(fleet.Log().size(), 80U);
  EXPECT_EQ(a.Value("kg"), "40");
}

// The console gives a connect one second; an unreachable display must use all of it rather
// than refuse at once, and must come back as an ordinary display.
TEST(SimDisplayTcp, AnUnreachableDisplayLetsConnectsTimeOutUntilItAnswersAgain) {
  DisplayFleet fleet;
  SimDisplay& display = fleet.Add({.address = Loopback(1), .unreachable = true});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(TestClient::Connect(Loopback(1)), nullptr);  // poll: not writable within 1 s
  EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);

  display.SetUnreachable(false);
  auto client = TestClient::Connect(Loopback(1));
  ASSERT_TRUE(client);
  EXPECT_EQ(client->Exchange("ka 01 ff\n"), "a 01 OK01x");
  EXPECT_EQ(display.Connections(), 1);  // its own queue fillers are not counted

  display.SetUnreachable(true);
  EXPECT_TRUE(client->WaitClosed());
  EXPECT_EQ(TestClient::Connect(Loopback(1)), nullptr);
}

}  // namespace
}  // namespace tarnex::sim
