#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "console/link_supervisor.h"
#include "console/selection_handler.h"
#include "support/console_fixture.h"
#include "protocol/command_frame.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;

class NoPages : public PageHost {};

// The UI thread, two backup-like workers and supervision passes all use the transaction at
// once. Every reply must come from the display that was addressed: each display holds its own
// contrast value, so a reply read from the wrong socket, or a command sent to the display a
// worker addressed instead of the selected one, shows up as a wrong value.
TEST_F(ConsoleFixture, ExchangesFromSeveralThreadsKeepTheirDisplays) {
  const std::vector<std::string> addresses = {"127.0.0.91", "127.0.0.92", "127.0.0.93",
                                              "127.0.0.94"};
  for (const auto& address : addresses) fleet.Add({.address = address});
  fleet.Add({.address = "127.0.0.95", .refuse = true});
  std::vector<std::string> configured = addresses;
  configured.push_back("127.0.0.95");
  Configure(configured, {{"All", {"[1]127.0.0.91", "[2]127.0.0.92"}}});
  core->BuildTree();
  for (int i = 0; i < 4; ++i) {
    std::lock_guard lock(core->Mutex());
    doc->m_docCurrentDisplay = i;
    ASSERT_TRUE(core->Transaction().SendCommandToCurrent(protocol::BuildSetValue("kg", 10 + i)));
  }

  NoPages pages;
  CLinkSupervisor supervisor(*core, pages);
  CSelectionHandler selection(*core, pages);
  std::atomic<int> wrong{0};
  std::atomic<int> answered{0};

  auto queryContrast = [&](int index) {
    const auto reply = core->Transaction().SendCommandToDisplay(index, "kg 01 ff\n");
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
    selection.OnSelectionChanged(core->Tree().GroupItem(0));
    core->Transaction().SendCommand("kd 01 ff\n");
  }
  worker.join();
  otherWorker.join();
  ticks.join();
  supervisor.Wait();

  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(answered.load(), 40);
}

}  // namespace
}  // namespace tarnex
