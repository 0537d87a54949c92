#include "support/loopback_block.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tarnex {
namespace {

using testing::kLoopbackBlocks;
using testing::kLoopbackBlockSize;
using testing::Loopback;

TEST(LoopbackBlock, ABlockHeldByALiveProcessIsPassedOver) {
  const int held = testing::ClaimLoopbackBlock(kLoopbackBlocks - 1);
  EXPECT_NE(testing::ClaimLoopbackBlock(held), held);
}

// Every address of the block is a host of its own inside 127.1.0.0-127.254.255.255.
TEST(LoopbackBlock, AddressesAreDistinctAndNeverANetworkOrBroadcastHost) {
  std::set<std::string> seen;
  for (int n = 1; n <= kLoopbackBlockSize; ++n) {
    const std::string address = Loopback(n);
    EXPECT_TRUE(seen.insert(address).second) << address;
    const auto host = address.substr(address.rfind('.') + 1);
    EXPECT_NE(host, "0") << address;
    EXPECT_NE(host, "255") << address;
    const int second = std::stoi(address.substr(4));
    EXPECT_TRUE(address.starts_with("127.") && second >= 1 && second <= 254) << address;
  }
  EXPECT_THROW(Loopback(kLoopbackBlockSize + 1), std::out_of_range);
}

}  // namespace
}  // namespace tarnex
