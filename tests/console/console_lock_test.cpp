#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
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
  std::atomic<int> pauses{0};
  struct Door {
    const char* name;
    std::function<bool()> enter;  // true when the call did its work
  };
  const std::vector<Door> doors = {
      {"SetSleeper",
       [&] {
         core->SetSleeper([&](std::chrono::milliseconds) { ++pauses; });
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
  for (const Door& door : doors) {
    const LongHold hold(*core, std::chrono::milliseconds(300));
    ASSERT_TRUE(hold.Begun()) << door.name;
    EXPECT_TRUE(door.enter()) << door.name;
    EXPECT_TRUE(hold.Holding()) << door.name << " waited for the whole hold";
  }
}

}  // namespace
}  // namespace tarnex
