#include <gtest/gtest.h>

#include "console/pjlink_links.h"
#include "protocol/command_catalogue.h"
#include "support/console_fixture.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;

using PjlinkLinkTest = ConsoleFixture;

TEST_F(PjlinkLinkTest, TheHashGoesBeforeTheFirstCommandOfASession) {
  fleet.AddPjlink({.address = Loopback(1), .password = "JBMIAProjectorLink", .random = "498e4a67"});
  Configure({Loopback(1)});
  MakePjlink(0, "JBMIAProjectorLink");
  core->BuildTree();

  const DisplayId id = core->Lock()->IdAt(0);
  const auto power = core->Transaction().SendCommandToDisplay(id, protocol::query::kPower);

  ASSERT_TRUE(CommandsArrive(Loopback(1), 2));
  const std::vector<std::string> commands = fleet.CommandsTo(Loopback(1));
  EXPECT_EQ(commands[0], "5d8409bc1c3fa39749434aa3a5c38682%1CLSS ?\r");
  EXPECT_EQ(commands[1], "%1POWR ?\r");
  EXPECT_EQ(power, "a 01 OK00x");  // the simulator starts in standby
  EXPECT_EQ(core->Lock()->FactsOf(id)->pjlink.linkClass, 1);
}

TEST_F(PjlinkLinkTest, AMixedGroupGetsEachKindsBytesAndHistoryInMemberOrder) {
  fleet.Add({.address = Loopback(2)});
  fleet.AddPjlink({.address = Loopback(3)});
  fleet.Add({.address = Loopback(4)});
  Configure({Loopback(2), Loopback(3), Loopback(4)},
            {{"Hall", {Loopback(2), Loopback(3), Loopback(4)}}});
  MakePjlink(1);
  core->BuildTree();
  fleet.ClearLog();

  core->Transaction().Send(protocol::command::kPowerOff, SelectGroup());

  ASSERT_TRUE(CommandsArrive(Loopback(4), 2));
  EXPECT_EQ(fleet.CommandsTo(Loopback(2)), (std::vector<std::string>{"ka 01 00\n", "ka 01 00\n"}));
  EXPECT_EQ(fleet.CommandsTo(Loopback(3)), (std::vector<std::string>{"%1POWR 0\r"}));
  std::vector<std::string> powerLines;
  for (const std::string& line : Operations()) {
    if (line.find("Power Off") != std::string::npos) powerLines.push_back(line);
  }
  EXPECT_EQ(powerLines,
            (std::vector<std::string>{Loopback(2) + " Power Off", Loopback(3) + " Power Off",
                                      Loopback(4) + " Power Off"}));
}

}  // namespace
}  // namespace tarnex
