#include "display-sim/flap_cycle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "display-sim/display_fleet.h"
#include "display-sim/program_options.h"
#include "support/loopback_block.h"
#include "test_client.h"

namespace tarnex::sim {
namespace {

using namespace std::chrono_literals;
using tarnex::testing::Loopback;
using testing::TestClient;

TEST(FlapCycle, EachPeriodAnswersThenClosesThenRefusesWithStaggeredStarts) {
  EXPECT_EQ(FlapPhaseAt(0, 4, 1000ms, 0ms), FlapPhase::kAnswering);
  EXPECT_EQ(FlapPhaseAt(0, 4, 1000ms, 499ms), FlapPhase::kAnswering);
  EXPECT_EQ(FlapPhaseAt(0, 4, 1000ms, 500ms), FlapPhase::kClosing);
  EXPECT_EQ(FlapPhaseAt(0, 4, 1000ms, 750ms), FlapPhase::kRefusing);
  EXPECT_EQ(FlapPhaseAt(0, 4, 1000ms, 1000ms), FlapPhase::kAnswering);
  // The third of four displays is half a period ahead of the first.
  EXPECT_EQ(FlapPhaseAt(2, 4, 1000ms, 0ms), FlapPhase::kClosing);
  EXPECT_EQ(FlapPhaseAt(2, 4, 1000ms, 300ms), FlapPhase::kRefusing);
  EXPECT_EQ(FlapPhaseAt(0, 0, 0ms, 5ms), FlapPhase::kAnswering);  // degenerate, no fault

  EXPECT_EQ(ParseProgramOptions({"--tcp", "127.0.0.2", "--flap", "30"}).flapSeconds, 30);
  EXPECT_EQ(ParseProgramOptions({"--tcp", "127.0.0.2"}).flapSeconds, 0);
  EXPECT_THROW(ParseProgramOptions({"--tcp", "127.0.0.2", "--flap", "0"}), std::invalid_argument);
  EXPECT_THROW(ParseProgramOptions({"--tcp", "127.0.0.2", "--flap"}), std::invalid_argument);
}

TEST(FlapCycle, AFlappingDisplayRefusesAndAnswersAgain) {
  DisplayFleet fleet;
  SimDisplay& display = fleet.Add({.address = Loopback(1)});
  FlapCycle cycle({&display}, 400ms);
  bool refused = false;
  bool answeredAfter = false;
  for (int attempt = 0; attempt < 250 && !answeredAfter; ++attempt) {
    auto client = TestClient::Connect(Loopback(1));
    if (client == nullptr) {
      refused = true;
    } else if (refused) {
      answeredAfter = client->Exchange("ka 01 ff\n") == "a 01 OK01x";
    }
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(refused);
  EXPECT_TRUE(answeredAfter);
}

}  // namespace
}  // namespace tarnex::sim
