// The group list against simulated displays: a mixed group on the network, and a serial group
// with a silent set ID.
#include "monitor/group_status.h"

#include <gtest/gtest.h>

#include "monitor/display_kind.h"
#include "monitor/group_row_feed.h"
#include "support/console_fixture.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;

std::vector<std::string> Cells(const GroupStatusRow& row) {
  return {row.status, row.key, row.name,      row.power,    row.input,
          row.signal, row.fan, row.lampTime1, row.lampTime2};
}

using GroupStatusTest = ConsoleFixture;

// Each member is read with its own kind: a kind 3 display keeps empty cells on the rebuild and
// is filled by the diagnosis. The fan of the list raises nothing.
TEST_F(GroupStatusTest, AMixedGroupShowsEachMembersOwnState) {
  const std::string ok = Loopback(1), fan = Loopback(2), dark = Loopback(3), refusing = Loopback(4),
                    kind3 = Loopback(5);
  fleet.Add({.address = ok});
  fleet.Add({.address = fan, .fanOk = false});
  fleet.Add({.address = dark, .signal = false, .lampHours = 0x1a2f});
  fleet.Add({.address = refusing, .refuse = true});
  fleet.Add({.address = kind3, .kind = 3});
  const std::vector<std::string> all = {ok, fan, dark, refusing, kind3};
  Configure(all,
            {{"Mixed", {"[1]" + ok, "[2]" + fan, "[3]" + dark, "[4]" + refusing, "[5]" + kind3}}});
  doc->m_docDisplays[0].m_label = "[Lobby]" + ok;
  core->BuildTree();
  const CommandTarget target = SelectGroup();

  const GroupStatusRead rebuilt = ReadGroupStatus(*core, target, 5, GroupReadMode::kRebuild);

  ASSERT_EQ(rebuilt.rows.size(), 5u);
  EXPECT_FALSE(rebuilt.cancelled);
  using Row = std::vector<std::string>;
  EXPECT_EQ(Cells(rebuilt.rows[0]),
            (Row{"On-Line", ok, "Lobby", "On", "HDMI", "Signal", "OK", "1200", "800"}));
  EXPECT_EQ(Cells(rebuilt.rows[1]),
            (Row{"On-Line", fan, "- - - -", "On", "HDMI", "Signal", "NG", "1200", "800"}));
  EXPECT_EQ(Cells(rebuilt.rows[2]),
            (Row{"On-Line", dark, "- - - -", "On", "HDMI", "No Signal", "OK", "6703", "800"}));
  EXPECT_EQ(Cells(rebuilt.rows[3]), (Row{"Off-Line", refusing, "", "", "", "", "", "", ""}));
  EXPECT_EQ(Cells(rebuilt.rows[4]), (Row{"On-Line", kind3, "- - - -", "", "", "", "", "", ""}));
  EXPECT_TRUE(rebuilt.rows[0].online);
  EXPECT_FALSE(rebuilt.rows[3].online);
  EXPECT_EQ(ui.Progress(), (std::vector<std::string>{"create", "pos 20", "pos 40", "pos 60",
                                                     "pos 80", "pos 100", "pos 100", "destroy"}));
  EXPECT_EQ(fleet.CommandsTo(kind3), std::vector<std::string>{"nu 01 ff\n"});

  const GroupStatusRead diagnosed = ReadGroupStatus(*core, target, 5, GroupReadMode::kDiagnosis);
  ASSERT_EQ(diagnosed.rows.size(), 5u);
  EXPECT_EQ(Cells(diagnosed.rows[4]),
            (Row{"On-Line", kind3, "- - - -", "On", "HDMI", "Signal", "OK", "1200", "800"}));
  EXPECT_EQ(ui.Progress().size(), 8u);  // no popup for the diagnosis
  EXPECT_EQ(fleet.CommandsTo(ok).front(), "nu 01 ff\n");
  EXPECT_EQ(fleet.CommandsTo(ok).size(), 9u + 8u);
  EXPECT_TRUE(mailer.Alarms().empty());

  EXPECT_TRUE(ReadGroupStatus(*core, target, 0, GroupReadMode::kRebuild).rows.empty());
}

// A set ID that is open but silent to the power query ends as a "Close" row, not connected,
// with its member items red; a set ID not open is not asked at all.
TEST_F(GroupStatusTest, ASilentSerialMemberIsClosedAndTurnsRed) {
  testing::SimSerialChannel line({"05"});
  ConfigureSerialGroup({"[1]PJTR 5", "[2]PJTR 7", "[3]PJTR 9"});
  doc->m_docSerialConnectState[5] = 1;
  doc->m_docSerialConnectState[7] = 1;
  core->SetSerialChannel(&line);
  core->BuildTree();
  const CommandTarget target = SelectGroup();

  const GroupStatusRead read = ReadGroupStatus(*core, target, 3, GroupReadMode::kRebuild);

  ASSERT_EQ(read.rows.size(), 3u);
  using Row = std::vector<std::string>;
  EXPECT_EQ(Cells(read.rows[0]),
            (Row{"Open", "5", "PJTR 5", "On", "HDMI", "Signal", "OK", "0", "0"}));
  EXPECT_EQ(Cells(read.rows[1]), (Row{"Close", "7", "", "", "", "", "", "", ""}));
  EXPECT_EQ(Cells(read.rows[2]), (Row{"Close", "9", "", "", "", "", "", "", ""}));
  EXPECT_EQ(doc->m_docSerialConnectState[7], 0);
  EXPECT_EQ(doc->m_docSerialConnectState[5], 1);
  const TreeItem group = Tree().GroupItem(0);
  EXPECT_EQ(IconOf(Tree().Model().Child(group, 1)), TreeIcon::kDisconnected);
  EXPECT_EQ(line.written_.front(), "ka 05 ff\n");
  EXPECT_EQ(std::count(line.written_.begin(), line.written_.end(), "ka 07 ff\n"), 1);
  EXPECT_EQ(std::count(line.written_.begin(), line.written_.end(), "ka 09 ff\n"), 0);
}

// The list is woken once per take and takes at most once per interval, however fast members
// end; the read's own rows are taken at once and supersede the rows read before them.
TEST(GroupRowFeedTest, RowsReachTheListAtMostOncePerInterval) {
  using std::chrono::milliseconds;
  std::chrono::steady_clock::time_point now{};
  int wakes = 0;
  GroupRowFeed feed([&] { ++wakes; }, [&] { return now; });
  feed.Begin(std::vector<GroupStatusRow>(3));
  feed.Read(1, {});
  GroupRowFeed::Batch batch = feed.Take();
  ASSERT_TRUE(batch.first);
  EXPECT_EQ(batch.read.size(), 1u);

  now += milliseconds(30);
  feed.Read(0, {});
  feed.Read(2, {});
  EXPECT_EQ(wakes, 2);
  EXPECT_EQ(feed.UntilTake(), milliseconds(70));
  EXPECT_EQ(feed.Take().read.size(), 2u);

  feed.Read(0, {});
  feed.Finish(std::vector<GroupStatusRow>(3));
  EXPECT_EQ(feed.UntilTake(), milliseconds(0));
  batch = feed.Take();
  EXPECT_TRUE(batch.read.empty());
  ASSERT_TRUE(batch.last);
  EXPECT_EQ(batch.last->size(), 3u);
}

}  // namespace
}  // namespace tarnex
