// The search's listening over loopback, against a host that answers faster than any fleet:
// what it keeps, and when it ends.
#include "links/display_search.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "display-sim/discovery_responder.h"
#include "support/datagram_sender.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Datagram i: a valid reply of a display of its own, MAC and address, all in 127/8.
std::string DistinctReply(int i) {
  char mac[13];
  std::snprintf(mac, sizeof mac, "0254%08X", static_cast<unsigned>(i));
  const std::string address = "127." + std::to_string(1 + i / (254 * 256)) + "." +
                              std::to_string(i / 254 % 256) + "." + std::to_string(1 + i % 254);
  return sim::DiscoveryResponder::Reply(address, mac);
}

TEST(DisplaySearchTest, AFloodOfDistinctRepliesKeepsOneTableAndEndsInTime) {
  SearchOptions options;
  options.broadcastAddress = "127.255.255.255";
  options.port = testing::DiscoveryTestPort();
  options.quietPeriod = 500ms;
  options.limit = 1500ms;
  testing::DatagramSender sender(DistinctReply, 100'000, 0ms);
  const auto started = Clock::now();
  const SearchOutcome outcome = SearchBroadcast(PosixDatagrams(), options);
  EXPECT_LT(Clock::now() - started, options.limit + 1s);
  EXPECT_FALSE(outcome.failed);
  EXPECT_EQ(outcome.replies.size(), kSearchRepliesKept);
  EXPECT_GT(outcome.dropped, 0u);
  EXPECT_EQ(outcome.replies.front().compactMac, "025400000000");
}

}  // namespace
}  // namespace tarnex
