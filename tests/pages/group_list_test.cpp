// The group list as the operator watches it: rows as their members are read, and re-reads that
// a new selection overtakes.
#include <gtest/gtest.h>

#include <thread>

#include "pages/information_back.h"
#include "pages_fixture.h"

namespace tarnex {
namespace {

using testing::Loopback;

class GroupListTest : public testing::PagesFixture {
 protected:
  void SetUp() override {
    PagesFixture::SetUp();
    controlOnTop = false;
  }
  void ShowGroupPage() {
    sheet->InformationBack()->Sheet()->ShowPage(CMyPropertySheetInformation::kGroup);
  }
  const GroupStatusModel& Model() const {
    return sheet->InformationBack()->Sheet()->Group()->Model();
  }
  QString Cell(int row, int column) const { return Model().index(row, column).data().toString(); }
};

// A silent member holds up only its own row: the others show as each is read, a member down
// shows at once, and the read's end settles every row.
TEST_F(GroupListTest, RowsAppearAsTheirMembersAreRead) {
  const std::string a = Loopback(41), silent = Loopback(42), b = Loopback(43), down = Loopback(44);
  fleet.Add({.address = a});
  fleet.Add({.address = silent, .silent = true});
  fleet.Add({.address = b});
  fleet.Add({.address = down, .refuse = true});
  sockets.receiveTimeoutMs = 1000;  // the silent member's kind query waits this long
  Start({a, silent, b, down}, {{"Hall", {"[1]" + a, "[2]" + silent, "[3]" + b, "[4]" + down}}});
  ShowGroupPage();

  handler->OnSelectionChanged(Tree().GroupItem(0));

  ASSERT_TRUE(testing::PumpUntil(
      [&] { return Model().rowCount() == 4 && Cell(0, 3) == "On" && Cell(2, 3) == "On"; }));
  EXPECT_TRUE(core->Jobs().Busy());  // the silent member is still waited for
  EXPECT_EQ(Cell(1, 0), "");
  EXPECT_EQ(Cell(1, 1).toStdString(), silent);
  EXPECT_FALSE(Model().index(1, 0).data(GroupStatusModel::kIconRole).isValid());
  EXPECT_EQ(Cell(3, 0), "Off-Line");
  EXPECT_EQ(Cell(0, 0), "On-Line");
  Settle();
  EXPECT_EQ(Cell(1, 0), "On-Line");  // a display that gives no kind keeps empty cells
  EXPECT_EQ(Cell(1, 3), "");
  EXPECT_EQ(Cell(2, 6), "OK");
}

// A re-read that a new selection overtakes ends at its first query and writes nothing for the
// group left; one asked for after the selection asks nothing at all.
TEST_F(GroupListTest, ANewSelectionLeavesADiagnosisNothingToWrite) {
  const std::string slow = Loopback(45), other = Loopback(46);
  fleet.Add({.address = slow});
  fleet.Add({.address = other});
  Start({slow, other}, {{"Hall", {"[1]" + slow}}});
  ShowGroupPage();
  Select(Tree().GroupItem(0));
  ASSERT_EQ(Cell(0, 3), "On");
  fleet.Find(slow)->SetDelayMs(300);
  fleet.ClearLog();
  int writes = 0;
  const auto count = [&] { ++writes; };
  QObject::connect(&Model(), &QAbstractItemModel::dataChanged, count);
  QObject::connect(&Model(), &QAbstractItemModel::modelReset, count);

  std::thread pass([&] { sheet->GroupDiagnosis(1); });  // as the supervision pass asks
  ASSERT_TRUE(CommandsArrive(slow, 1));
  Select(SingleItem(1));
  pass.join();
  Settle();
  EXPECT_EQ(writes, 0);
  EXPECT_EQ(Commands(slow).size(), 1u);

  std::thread(&CMyPropertySheet::GroupDiagnosis, sheet.get(), 1).join();
  Settle();
  EXPECT_EQ(writes, 0);
  EXPECT_EQ(Commands(slow).size(), 1u);
}

}  // namespace
}  // namespace tarnex
