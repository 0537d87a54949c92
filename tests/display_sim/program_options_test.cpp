#include "display-sim/program_options.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace tarnex::sim {
namespace {

TEST(ProgramOptions, FaultsNamingAddressesApplyToThoseDisplaysOnly) {
  const auto options = ParseProgramOptions({"--tcp",
                                            "127.0.0.2,127.0.0.3",
                                            "--tcp",
                                            "127.1.2.3",
                                            "--log",
                                            "/tmp/sim.log",
                                            "--kind",
                                            "3",
                                            "--fan-fail",
                                            "--delay-ms",
                                            "40",
                                            "--split",
                                            "--close-after",
                                            "5",
                                            "--reset-after",
                                            "7",
                                            "--setting",
                                            "kd=01",
                                            "--setting",
                                            "xb=92",
                                            "--refuse",
                                            "127.0.0.3",
                                            "--silent",
                                            "127.1.2.3",
                                            "--garbage",
                                            "127.0.0.2",
                                            "--odd-length",
                                            "127.0.0.2,127.0.0.3",
                                            "--trickle",
                                            "127.0.0.3",
                                            "--twice",
                                            "127.1.2.3"});
  ASSERT_EQ(options.displays.size(), 3U);
  EXPECT_EQ(options.logPath, "/tmp/sim.log");
  const DisplayOptions& a = options.displays[0];
  const DisplayOptions& b = options.displays[1];
  const DisplayOptions& c = options.displays[2];
  EXPECT_EQ(a.address, "127.0.0.2");
  EXPECT_EQ(c.address, "127.1.2.3");
  for (const DisplayOptions* d : {&a, &b, &c}) {
    EXPECT_EQ(d->port, 9761);
    EXPECT_EQ(d->kind, 3);
    EXPECT_FALSE(d->fanOk);
    EXPECT_TRUE(d->signal);
    EXPECT_EQ(d->delayMs, 40);
    EXPECT_TRUE(d->splitReplies);
    EXPECT_EQ(d->closeAfter, 5);
    EXPECT_EQ(d->resetAfter, 7);
    EXPECT_EQ(d->settings,
              (std::vector<std::pair<std::string, std::string>>{{"kd", "01"}, {"xb", "92"}}));
  }
  EXPECT_TRUE(a.garbage && a.oddLength && !a.refuse && !a.silent);
  EXPECT_TRUE(b.refuse && b.oddLength && !b.garbage && b.trickle && !b.twice);
  EXPECT_TRUE(c.silent && !c.refuse && !c.oddLength && c.twice && !c.trickle);
}

TEST(ProgramOptions, BadCommandLinesAreRefused) {
  const std::vector<std::vector<std::string>> bad = {
      {},                                            // nothing to serve
      {"--log", "x"},                                // still nothing to serve
      {"--tcp", "192.168.1.20"},                     // not loopback
      {"--tcp", "127.0.0.2,10.0.0.1"},               // one of several not loopback
      {"--tcp", "0.0.0.0"},                          // every interface
      {"--tcp", "127.0.0.256"},                      // not an address
      {"--tcp", "127.0.0.2,"},                       // empty list item
      {"--tcp", "127.0.0.2", "--tcp", "127.0.0.2"},  // twice
      {"--tcp"},                                     // missing value
      {"--tcp", "127.0.0.2", "--kind", "x"},         // not a number
      {"--tcp", "127.0.0.2", "--port", "70000"},     // out of range
      {"--tcp", "127.0.0.2", "--delay-ms", "-1"},
      {"--tcp", "127.0.0.2", "--silent", "127.0.0.9"},  // not served
      {"--tcp", "127.0.0.2", "--bogus"},
      {"--tcp", "127.0.0.2", "--setting", "kd=05"},  // not a mute value
      {"--tcp", "127.0.0.2", "--setting", "nu=01"},  // read-only: use --kind
      {"--tcp", "127.0.0.2", "--setting", "zz=01"},  // unknown letters
      {"--tcp", "127.0.0.2", "--setting", "kd"},     // no value
      {"--tcp", "127.0.0.9-127.0.0.2"},              // range running down
      {"--tcp", "127.255.255.255-128.0.0.1"},        // range leaving loopback
      {"--tcp", "127.0.0.1-127.0.39.17"},            // range of 10000 and one
      {"--tcp", "127.0.0.2-"},                       // range without its end
      {"--tcp", "127.0.0.2", "--refuse", "127.0.0.2", "--unreachable", "127.0.0.2"},
      {"--pjlink", "127.0.0.2", "--pjlink", "127.0.0.2"},
      {"--pjlink", "127.0.0.2", "--pjlink-random", "498e4a6"},   // seven digits
      {"--pjlink", "127.0.0.2", "--pjlink-random", "498e4a6g"},  // not hex
      {"--pjlink", "127.0.0.2", "--pjlink-password", ""},        // empty
      {"--pjlink", "127.0.0.2", "--pjlink-err4", "127.0.0.3"},   // not served
      {"--pjlink", "127.0.0.2", "--odd-length", "127.0.0.2"},    // no such fault there
      {"--tcp", "127.0.0.2", "--pjlink-no-lamp", "127.0.0.2"},   // served, but not PJLink
  };
  for (const auto& args : bad) {
    std::string joined;
    for (const auto& arg : args) joined += arg + " ";
    EXPECT_THROW(ParseProgramOptions(args), std::invalid_argument) << joined;
  }
}

TEST(ProgramOptions, PjlinkDisplaysTakeTheirSwitchesAndTheSharedFaults) {
  const auto options = ParseProgramOptions(
      {"--tcp", "127.0.0.2", "--pjlink", "127.0.0.2-127.0.0.4", "--pjlink-password", "secret",
       "--pjlink-warm-up-ms", "0", "--delay-ms", "40", "--silent", "127.0.0.2", "--garbage",
       "127.0.0.4", "--pjlink-lower-case", "127.0.0.3"});
  ASSERT_EQ(options.pjlinks.size(), 3U);
  EXPECT_TRUE(options.displays.at(0).silent);  // a fault names the address on both protocols
  EXPECT_TRUE(options.pjlinks[0].silent);
  EXPECT_FALSE(options.pjlinks[0].lowerCase);
  EXPECT_TRUE(options.pjlinks[1].lowerCase);
  EXPECT_TRUE(options.pjlinks[2].garbage);
  EXPECT_FALSE(options.displays.at(0).garbage);
  for (const auto& display : options.pjlinks) {
    EXPECT_EQ(display.port, 4352);
    EXPECT_EQ(display.password, "secret");
    EXPECT_EQ(display.warmUpMs, 0);
    EXPECT_EQ(display.delayMs, 40);
  }
}

TEST(ProgramOptions, RangesNameEveryAddressFromFirstToLast) {
  const auto options = ParseProgramOptions(
      {"--tcp", "127.0.0.254-127.0.1.1,127.0.9.9", "--unreachable", "127.0.1.0-127.0.1.1"});
  std::vector<std::string> addresses;
  std::vector<std::string> unreachable;
  for (const auto& display : options.displays) {
    addresses.push_back(display.address);
    if (display.unreachable) unreachable.push_back(display.address);
  }
  EXPECT_EQ(addresses, (std::vector<std::string>{"127.0.0.254", "127.0.0.255", "127.0.1.0",
                                                 "127.0.1.1", "127.0.9.9"}));
  EXPECT_EQ(unreachable, (std::vector<std::string>{"127.0.1.0", "127.0.1.1"}));
  EXPECT_EQ(ParseProgramOptions({"--tcp", "127.0.0.1-127.0.39.16"}).displays.size(), 10000U);
}

}  // namespace
}  // namespace tarnex::sim

namespace tarnex::sim {
namespace {

// One process serves a mixed group: the kind, the fan and the signal per display.
TEST(ProgramOptions, KindFanAndSignalCanNameTheirDisplays) {
  const auto options = ParseProgramOptions({"--tcp", "127.0.0.2-127.0.0.5", "--kind", "1", "--kind",
                                            "3:127.0.0.3,127.0.0.4", "--fan-fail", "127.0.0.2",
                                            "--no-signal", "127.0.0.4-127.0.0.5"});
  ASSERT_EQ(options.displays.size(), 4U);
  std::vector<int> kinds;
  std::vector<bool> fans, signals;
  for (const DisplayOptions& d : options.displays) {
    kinds.push_back(d.kind);
    fans.push_back(d.fanOk);
    signals.push_back(d.signal);
  }
  EXPECT_EQ(kinds, (std::vector<int>{1, 3, 3, 1}));
  EXPECT_EQ(fans, (std::vector<bool>{false, true, true, true}));
  EXPECT_EQ(signals, (std::vector<bool>{true, true, false, false}));
  EXPECT_THROW(ParseProgramOptions({"--tcp", "127.0.0.2", "--kind", "2:127.0.0.9"}),
               std::invalid_argument);
  EXPECT_THROW(ParseProgramOptions({"--tcp", "127.0.0.2", "--kind", "9x:127.0.0.2"}),
               std::invalid_argument);
}

}  // namespace
}  // namespace tarnex::sim
