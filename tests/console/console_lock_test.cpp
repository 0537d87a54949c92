#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <utility>
#include <vector>

#include "support/console_fixture.h"
#include "support/long_hold.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::LongHold;
using testing::SimSerialChannel;

// Every exchange starts by taking the pause or the serial line from the console; a way in that
// the hold does not count as a waiter sits behind a whole record loop. Each must get in while
// the hold still runs, and do what it is for.
TEST_F(ConsoleFixture, EveryWayIntoTheConsoleLockIsLetInByALongHold) {
  SimSerialChannel line({"01"});
  int pauses = 0;
  const std::vector<std::pair<const char*, std::function<bool()>>> doors = {
      {"SetSleeper",
       [&] {
         core->SetSleeper([&](auto) { ++pauses; });
         return true;
       }},
      {"SleeperCopy",
       [&] {
         core->SleeperCopy()(std::chrono::milliseconds(1));
         return pauses == 1;
       }},
      {"SetSerialChannel",
       [&] {
         core->SetSerialChannel(&line);
         return true;
       }},
      {"Serial", [&] { return core->Serial() == &line; }},
  };
  for (const auto& [name, enter] : doors) {
    const LongHold hold(*core, std::chrono::milliseconds(300));
    ASSERT_TRUE(hold.Holding()) << name;
    EXPECT_TRUE(enter()) << name;
    EXPECT_TRUE(hold.Holding()) << name << " waited for the whole hold";
  }
  core->SetSerialChannel(nullptr);  // the line goes before the console
}

}  // namespace
}  // namespace tarnex
