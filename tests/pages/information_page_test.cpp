// The Information tab: the display page's boxes and what a refresh puts in them, the fan's
// diagnosis, and the group page shown by Connect.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include "pages/information_back.h"
#include "pages_fixture.h"

namespace tarnex {
namespace {

using testing::Loopback;
using Texts = std::vector<std::string>;

class InformationPageTest : public testing::PagesFixture {
 protected:
  void SetUp() override {
    PagesFixture::SetUp();
    controlOnTop = false;
  }
  CMyPropertySheetInformation& Inner() const { return *sheet->InformationBack()->Sheet(); }
  QString Box(const char* name) const {
    auto* box = Inner().Information()->findChild<QLineEdit*>(QString::fromLatin1(name));
    EXPECT_NE(box, nullptr) << name;
    return box != nullptr ? box->text() : QString();
  }
  TreeItem MemberItem(int group, int member) const {
    return Tree().Model().Child(Tree().GroupItem(group), member);
  }
};

TEST_F(InformationPageTest, TheInformationTabIsFirstAndItsBoxesAreNamedByTheirLabels) {
  Start({Loopback(1)});
  EXPECT_EQ(sheet->Tabs()->tabText(0), "Information");
  EXPECT_EQ(sheet->Tabs()->currentIndex(), 0);
  EXPECT_EQ(Inner().tabText(0), "Display");
  EXPECT_EQ(Inner().tabText(1), "Group");
  EXPECT_EQ(doc->m_docInformationPageActive, 1);
  EXPECT_EQ(doc->m_docInformationShown, 1);
  QStringList names;
  for (QLineEdit* box : Inner().Information()->findChildren<QLineEdit*>()) {
    EXPECT_TRUE(box->isReadOnly());
    names << box->accessibleName();
  }
  EXPECT_EQ(names,
            QStringList({"Power", "Input", "Signal", "Aspect", "Picture Mode", "FAN", "Lamp Time 1",
                         "Lamp Time 2", "MAC Address", "IP Address", "Subnet Mask",
                         "Default Gateway", "Name", "Manufacturer", "Product", "Class"}));
  int units = 0;
  for (QLabel* label : Inner().Information()->findChildren<QLabel*>()) {
    if (label->text() == "Hr.") ++units;
  }
  EXPECT_EQ(units, 2);
  EXPECT_FALSE(Inner().Group()->List()->accessibleName().isEmpty());
}

// An abnormal fan is written and mailed once and turns the display and its member yellow; a
// normal reading turns them connected again. Another display's refresh empties the boxes, and
// a display of kind 1 is not read beyond its kind.
TEST_F(InformationPageTest, ARefreshShowsTheReadingsAndTheFanDiagnosis) {
  const std::string a = Loopback(2), kind1 = Loopback(3);
  fleet.Add({.address = a, .fanOk = false, .lampHours = 0x1a2f});
  fleet.Add({.address = kind1, .kind = 1});
  Configure({a, kind1}, {{"Pair", {"[1]" + a, "[2]" + kind1}}});
  doc->m_docDisplays[0].m_displayMac = "00 - 1A - 2B - 3C - 4D - 5E - 6F";
  doc->m_docDisplays[0].m_ipAddress = {"192", "168", "0", "20"};
  doc->m_docDisplays[0].m_subnetMask = {"255", "255", "256", "0"};
  core->BuildTree();
  MakeSheet();
  fleet.ClearLog();

  Select(MemberItem(0, 0));
  EXPECT_EQ(Commands(a).front(), "fy 01 ff\n");
  const std::vector<QString> shown = {Box("power"),     Box("input"),       Box("signal"),
                                      Box("aspect"),    Box("pictureMode"), Box("fan"),
                                      Box("lampTime1"), Box("lampTime2"),   Box("macAddress"),
                                      Box("ipAddress"), Box("subnetMask"),  Box("defaultGateway")};
  EXPECT_EQ(shown,
            (std::vector<QString>{"On", "HDMI", "Signal", "16 : 9", "Vivid", "NG", "6703", "800",
                                  "00 - 1A - 2B - 3C - 4D - 5E", "192.168.0.20", "", "0.0.0.0"}));
  EXPECT_EQ(Inner().Information()->FanState(), 0);
  EXPECT_EQ(Kind(), 2);
  EXPECT_EQ(Operations().back(), a + " Warning Fan Operation");
  EXPECT_EQ(mailer.Alarms(), Texts{"3 " + a});
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kWarning);
  EXPECT_EQ(IconOf(MemberItem(0, 0)), TreeIcon::kWarning);

  fleet.Find(a)->SetFanOk(true);
  Refresh();
  EXPECT_EQ(Box("fan"), "OK");
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kConnected);
  EXPECT_EQ(IconOf(MemberItem(0, 0)), TreeIcon::kConnected);
  EXPECT_EQ(mailer.Alarms().size(), 1u);

  Select(SingleItem(1));
  EXPECT_EQ(Commands(kind1), (Texts{"fy 01 ff\n", "nu 01 ff\n", "nu 01 ff\n"}));
  EXPECT_EQ(Box("power"), "");
  EXPECT_EQ(Box("fan"), "");
  EXPECT_EQ(Kind(), 1);
}

// Reads queued for a display the operator has walked past are dropped: the boxes show only the
// display selected last.
TEST_F(InformationPageTest, ASelectionChangeWhileAReadIsQueuedShowsNothingStale) {
  const std::string a = Loopback(4), b = Loopback(5);
  fleet.Add({.address = a, .fanOk = false});
  fleet.Add({.address = b, .signal = false});
  Start({a, b});
  {
    testing::JobsHeld held(core->Jobs());
    handler->OnSelectionChanged(SingleItem(0));
    handler->OnSelectionChanged(SingleItem(1));
  }
  Settle();
  EXPECT_TRUE(Commands(a).empty());
  EXPECT_EQ(Box("signal"), "No Signal");
  EXPECT_EQ(Box("fan"), "OK");
  EXPECT_TRUE(mailer.Alarms().empty());
}

// Connect on a group while the Information tab is shown brings up the group page, which lists
// the members; count 0 empties it.
TEST_F(InformationPageTest, ConnectOnAGroupShowsItsMembers) {
  const std::string a = Loopback(6), refusing = Loopback(7);
  fleet.Add({.address = a});
  fleet.Add({.address = refusing, .refuse = true});
  Start({a, refusing}, {{"Pair", {"[1]" + a, "[2]" + refusing}}});
  Select(Tree().GroupItem(0));
  EXPECT_EQ(Inner().Group()->Model().rowCount(), 0);  // the display page is on top

  handler->OnConnectCommand();
  Settle();
  EXPECT_EQ(Inner().currentIndex(), CMyPropertySheetInformation::kGroup);
  EXPECT_EQ(doc->m_docGroupPageActive, 1);
  const GroupStatusModel& model = Inner().Group()->Model();
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.index(0, 0).data().toString(), "On-Line");
  EXPECT_EQ(model.index(0, 3).data().toString(), "On");
  EXPECT_EQ(model.index(1, 0).data().toString(), "Off-Line");
  EXPECT_EQ(model.index(1, 0).data(GroupStatusModel::kIconRole).toInt(), 3);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "IP Address");

  sheet->RefreshGroupStatus(0);
  Settle();
  EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
}  // namespace tarnex
