#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "console/link_supervisor.h"
#include "console/selection_handler.h"
#include "protocol/command_frame.h"
#include "support/console_fixture.h"
#include "support/lock_probe.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;

class NoPages : public PageHost {};

// The UI thread, two backup-like workers and supervision passes all use the transaction at
// once. Every reply must come from the display that was addressed: each display holds its own
// contrast value, so a reply read from the wrong socket, or a command sent to the display a
// worker addressed instead of the selected one, shows up as a wrong value.
TEST_F(ConsoleFixture, ExchangesFromSeveralThreadsKeepTheirDisplays) {
  const std::vector<std::string> addresses = {Loopback(91), Loopback(92), Loopback(93),
                                              Loopback(94)};
  for (const auto& address : addresses) fleet.Add({.address = address});
  fleet.Add({.address = Loopback(95), .refuse = true});
  std::vector<std::string> configured = addresses;
  configured.push_back(Loopback(95));
  Configure(configured, {{"All", {"[1]" + Loopback(91), "[2]" + Loopback(92)}}});
  core->BuildTree();
  std::vector<DisplayId> ids;
  for (int i = 0; i < 4; ++i) {
    const CommandTarget target = core->Transaction().DisplayTarget(i);
    ids.push_back(target.display);
    ASSERT_TRUE(core->Transaction().SendCommand(protocol::BuildSetValue("kg", 10 + i), target));
  }

  NoPages pages;
  CLinkSupervisor supervisor(*core, pages);
  CSelectionHandler selection(*core, pages);
  std::atomic<int> wrong{0};
  std::atomic<int> answered{0};

  auto queryContrast = [&](int index) {
    const auto reply =
        core->Transaction().SendCommandToDisplay(ids[static_cast<size_t>(index)], "kg 01 ff\n");
    if (!reply) return;
    ++answered;
    if (protocol::ReadNumericReply(*reply) != 10 + index) ++wrong;
  };
  std::thread worker([&] {
    for (int round = 0; round < 20; ++round) queryContrast(round % 2);
  });
  std::thread otherWorker([&] {
    for (int round = 0; round < 20; ++round) queryContrast(2 + round % 2);
  });
  std::thread ticks([&] {
    for (int round = 0; round < 5; ++round) {
      supervisor.OnTick();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  // The UI thread selects displays and a group and sends through the selection.
  for (int round = 0; round < 10; ++round) {
    const int row = round % 4;
    selection.OnSelectionChanged(SingleItem(row));
    const auto reply = core->Transaction().SendCommand("kg 01 ff\n");
    if (reply && protocol::ReadNumericReply(*reply) != 10 + row) ++wrong;
    selection.OnSelectionChanged(Tree().GroupItem(0));
    core->Transaction().SendCommand("kd 01 ff\n");
  }
  worker.join();
  otherWorker.join();
  ticks.join();
  supervisor.Wait();

  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(answered.load(), 40);
}

// The operator's reads of one display, group sends to the whole fleet and supervision passes
// run together while displays go silent, refuse and come back. No reply may come from another
// display than the one asked, and once the fleet is back, one pass leaves every display up and
// shown so.
TEST_F(ConsoleFixture, AFlappingFleetKeepsEachReplyWithItsDisplay) {
  constexpr int kDisplays = 200;
  std::vector<std::string> addresses;
  std::vector<std::string> members;
  for (int i = 0; i < kDisplays; ++i) {
    addresses.push_back(Loopback(i + 1));
    members.push_back("[" + std::to_string(i + 1) + "]" + addresses.back());
    fleet.Add({.address = addresses.back()});
  }
  Configure(addresses, {{"All", members}});
  core->BuildTree();
  for (int i = 0; i < kDisplays; ++i) fleet.Find(addresses[i])->SetSilent(false);

  NoPages pages;
  CLinkSupervisor supervisor(*core, pages);
  CSelectionHandler selection(*core, pages);
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::thread flapper([&] {
    for (int round = 0; round < 40 && !done; ++round) {
      sim::SimDisplay* display = fleet.Find(addresses[static_cast<size_t>(round * 7 % kDisplays)]);
      display->SetSilent(round % 2 == 0);
      display->SetRefuse(round % 3 == 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  std::thread ticks([&] {
    for (int round = 0; round < 6 && !done; ++round) {
      supervisor.OnTick();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  for (int round = 0; round < 6; ++round) {
    const int row = round * 31 % kDisplays;
    selection.OnSelectionChanged(SingleItem(row));
    Settle();
    for (const char* query : {"kd 01 ff\n", "nr 01 ff\n"}) {
      const auto reply = core->Transaction().SendCommand(query);
      if (reply && reply->size() >= 1 && (*reply)[0] != query[1]) ++wrong;
    }
    selection.OnSelectionChanged(Tree().GroupItem(0));
    core->Transaction().SendCommand("kd 01 01\n");
  }
  done = true;
  flapper.join();
  ticks.join();
  supervisor.Wait();

  for (const std::string& address : addresses) {
    fleet.Find(address)->SetRefuse(false);
    fleet.Find(address)->SetSilent(false);
  }
  supervisor.RunPass();
  EXPECT_EQ(wrong.load(), 0);
  for (int i = 0; i < kDisplays; ++i) {
    EXPECT_EQ(doc->m_docConnectState[static_cast<size_t>(i)], 1) << addresses[i];
    EXPECT_EQ(IconOf(SingleItem(i)), TreeIcon::kConnected) << addresses[i];
  }
}

// A report on a stalled disk (a network home) must not hold the console lock: the window
// takes it for every tree update. Lines made meanwhile wait for the stalled write and then
// follow it in order; making them never waits.
TEST_F(ConsoleFixture, AStalledHistoryWriteHoldsNeitherTheLockNorTheNextLine) {
  std::promise<void> diskBack;
  std::shared_future<void> released = diskBack.get_future().share();
  std::promise<void> stalled;
  std::mutex written;
  std::vector<std::string> operations;
  std::atomic<bool> first{true};
  core->SetHistoryWriter([&](const std::vector<HistoryLine>& lines) {
    if (first.exchange(false)) {
      stalled.set_value();
      released.wait_for(std::chrono::seconds(10));
    }
    std::lock_guard lock(written);
    for (const HistoryLine& line : lines)
      operations.push_back(line.text.substr(line.text.rfind(": ") + 2));
  });

  const DisplayId display = core->Lock()->IdAt(0);
  std::thread worker([&] { core->Lock()->AppendHistoryFor(display, "first"); });
  ASSERT_EQ(stalled.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  auto window = std::async(std::launch::async, [&] {
    core->Lock()->Tree();
    core->Lock()->AppendHistoryFor(display, "second");
  });
  EXPECT_EQ(window.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  diskBack.set_value();
  worker.join();
  window.wait();
  core->FlushHistory();
  EXPECT_EQ(operations, (std::vector<std::string>{"first\r\n", "second\r\n"}));
}

// A record of a whole fleet in one hold lets a waiting thread (the window) in between two
// displays, but only once the hold has lasted and only when somebody waits.
TEST_F(ConsoleFixture, ALongHoldLetsAWaiterInBetweenTwoDisplays) {
  std::optional<testing::LockProbe> window;  // joined after the hold ends
  {
    auto state = core->Lock();
    EXPECT_FALSE(state->LetOthersIn());
    window.emplace(*core);
    for (int display = 0; display < 400 && !window->TakenWithin(std::chrono::milliseconds(0));
         ++display) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      state->LetOthersIn();
    }
    EXPECT_TRUE(window->TakenWithin(std::chrono::milliseconds(0)));
  }
}

}  // namespace
}  // namespace tarnex
