// The on-screen message reaching simulated displays: one display, a network group side by side,
// a serial group on the line, and what the history says of each.
#include "monitor/message_sender.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "monitor/message_frames.h"
#include "support/console_fixture.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;

class MessageSenderTest : public ConsoleFixture {
 protected:
  // History lines of the operation, whatever display they name.
  size_t Lines(const std::string& operation, const char* file = "Network_HistoryReport.txt") {
    const std::vector<std::string> all = Operations(file);
    return static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](const std::string& line) {
      return line.ends_with(" " + operation);
    }));
  }
};

TEST_F(MessageSenderTest, OneDisplayShowsTheTextAndAClearIsRecorded) {
  const std::string display = Loopback(1);
  fleet.Add({.address = display});
  Configure({display});
  core->BuildTree();
  const std::string text = "Doors open at 7pm, Hall B: please wait!";

  const MessageResult result = SendMessage(*core, core->Transaction().DisplayTarget(0), text, 7, 6);

  EXPECT_EQ(result.shown, 1u);
  ASSERT_TRUE(CommandsArrive(display, MessageFrames(text, 7, 6).size() + 1));
  EXPECT_EQ(fleet.CommandsTo(display).back(), "message: " + text);
  EXPECT_EQ(Lines("Send Message to Monitor"), 1u);
  EXPECT_TRUE(ui.Progress().empty());  // no popup for one display

  SelectItem(SingleItem(0));  // the operator's selection: the display alone
  PostClearMessage(*core);
  ASSERT_TRUE(core->Jobs().WaitIdle(std::chrono::seconds(10)));
  EXPECT_EQ(fleet.CommandsTo(display).back(), "F# 01 01 00\n");
  EXPECT_EQ(Lines("Clear Message"), 1u);
}

// A message waits behind other work: a display deleted meanwhile gets nothing, and after the
// console's close no message is shown.
TEST_F(MessageSenderTest, ADeletedDisplayOrAClosedConsoleGetsNothing) {
  const std::string kept = Loopback(1), gone = Loopback(2);
  fleet.Add({.address = kept});
  fleet.Add({.address = gone});
  Configure({gone, kept});
  core->BuildTree();
  const CommandTarget toGone = core->Transaction().DisplayTarget(0);
  const CommandTarget toKept = core->Transaction().DisplayTarget(1);
  core->Lock()->RemoveDisplayRow(0);  // the operator deletes it while the message waits

  EXPECT_EQ(SendMessage(*core, toGone, "Hi", 7, 6).shown, 0u);
  core->Stop();
  const MessageResult closed = SendMessage(*core, toKept, "Hi", 7, 6);
  EXPECT_EQ(closed.shown, 0u);
  EXPECT_TRUE(fleet.CommandsTo(gone).empty());
  // A frame in flight at the close may still reach the display, but never the whole message.
  const std::vector<std::string> toKeptDisplay = fleet.CommandsTo(kept);
  EXPECT_EQ(std::count(toKeptDisplay.begin(), toKeptDisplay.end(), "F# 01 01 01\n"), 0);
  EXPECT_EQ(Lines("Send Message to Monitor"), 0u);
}

// Members run side by side; a member whose link is down gets nothing and no history line.
TEST_F(MessageSenderTest, AGroupShowsItOnEveryMemberThatIsUp) {
  const std::string a = Loopback(1), b = Loopback(2), c = Loopback(3), down = Loopback(4);
  for (const std::string& address : {a, b, c}) fleet.Add({.address = address});
  fleet.Add({.address = down, .refuse = true});
  Configure({a, b, c, down},
            {{"Hall", {"[1]" + a, "[2]" + b, "[3]" + c}}, {"Foyer", {"[1]" + a, "[2]" + down}}});
  core->BuildTree();

  MessageResult result = SendMessage(*core, SelectGroup(), "Welcome", 0, 2);
  EXPECT_EQ(result.shown, 3u);
  for (const std::string& member : {a, b, c}) {
    ASSERT_TRUE(CommandsArrive(member, 7)) << member;
    EXPECT_EQ(fleet.CommandsTo(member).back(), "message: Welcome") << member;
  }
  EXPECT_EQ(Lines("Send Message to Monitor"), 3u);
  EXPECT_EQ(ui.Progress(), (std::vector<std::string>{"create", "pos 33", "pos 66", "pos 99",
                                                     "pos 100", "destroy"}));

  result = SendMessage(*core, SelectGroup(1), "Hi", 7, 6);
  EXPECT_EQ(result.shown, 1u);
  EXPECT_TRUE(fleet.CommandsTo(down).empty());
  EXPECT_EQ(Lines("Send Message to Monitor"), 4u);
}

// Each member's frames carry its own set ID, one member after another on the line.
TEST_F(MessageSenderTest, ASerialGroupCarriesEachSetId) {
  testing::SimSerialChannel line({"05", "07"});
  ConfigureSerialGroup({"[1]PJTR 5", "[2]PJTR 7"});
  core->SetSerialChannel(&line);
  core->BuildTree();

  const MessageResult result = SendMessage(*core, SelectGroup(), "Hi", 7, 6);

  EXPECT_EQ(result.shown, 2u);
  const std::vector<std::string> expected = {"F# 05 01 00\n", "F# 05 03  2  1\n",
                                             "F# 05 04  7\n", "F# 05 02 00  3 48 69 80\n",
                                             "F# 05 01 01\n", "F# 07 01 00\n"};
  ASSERT_GE(line.written_.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), line.written_.begin()));
  EXPECT_EQ(line.written_.back(), "F# 07 01 01\n");
  EXPECT_EQ(Lines("Send Message to Monitor"), 0u);  // the serial report holds them
  EXPECT_EQ(Lines("Send Message to Monitor", "Serial_HistoryReport.txt"), 2u);
}

}  // namespace
}  // namespace tarnex
