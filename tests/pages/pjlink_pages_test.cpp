// A PJLink display on the pages: its own protocol's answers fill the Information page, the
// Control page keeps what PJLink can do, and every other control is off and says why, unless
// a native display shares the selection.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSlider>

#include "pages/information_back.h"
#include "pages_fixture.h"

namespace tarnex {
namespace {

using testing::Loopback;

const QString kWhy = QStringLiteral("Not available over PJLink");

class PjlinkPagesTest : public testing::PagesFixture {
 protected:
  void SetUp() override {
    PagesFixture::SetUp();
    controlOnTop = false;
  }
  // The PJLink display `pj` in row 0, the native `native` in row 1, and with `lampless` a
  // PJLink display without a lamp in row 2; a group of `pj` alone and one of both.
  void StartWith(sim::PjlinkOptions options, bool lampless = false) {
    options.address = pj;
    fleet.AddPjlink(options);
    fleet.Add({.address = native});
    std::vector<std::string> addresses = {pj, native};
    if (lampless) {
      fleet.AddPjlink({.address = Loopback(23), .noLamp = true});
      addresses.push_back(Loopback(23));
    }
    Configure(addresses, {{"Alone", {"[1]" + pj}}, {"Both", {"[1]" + pj, "[2]" + native}}});
    MakePjlink(0);
    if (lampless) MakePjlink(2);
    core->BuildTree();
    MakeSheet();
    fleet.ClearLog();
  }
  QString Box(const char* name) const {
    CInformation* page = sheet->InformationBack()->Sheet()->Information();
    auto* box = page->findChild<QLineEdit*>(QString::fromLatin1(name));
    EXPECT_NE(box, nullptr) << name;
    return box != nullptr ? box->text() : QString();
  }
  // The page's controls that are off and say why, by name; the others must say nothing.
  QStringList Refused(PageKind kind) {
    sheet->ShowPage(kind);
    Settle();
    QStringList refused;
    for (QWidget* control : sheet->Page(kind)->findChildren<QWidget*>()) {
      if (!control->inherits("QComboBox") && !control->inherits("QAbstractSlider") &&
          !control->inherits("QLineEdit") && !control->inherits("QPushButton")) {
        continue;
      }
      const bool says = control->toolTip() == kWhy && control->accessibleDescription() == kWhy;
      EXPECT_EQ(says, !control->isEnabled() && !control->toolTip().isEmpty())
          << control->objectName().toStdString();
      if (says) refused << control->objectName();
    }
    return refused;
  }
  int ControlCount(PageKind kind) const {
    return static_cast<int>(sheet->Page(kind)->findChildren<QComboBox*>().size() +
                            sheet->Page(kind)->findChildren<QSlider*>().size() +
                            sheet->Page(kind)->findChildren<QLineEdit*>().size());
  }

  const std::string pj = Loopback(21), native = Loopback(22);
};

TEST_F(PjlinkPagesTest, ASelectedPjlinkDisplayShowsItsOwnAnswersAndRefusesTheRest) {
  StartWith({});
  Select(SingleItem(0));
  EXPECT_EQ((QStringList{Box("power"), Box("fan"), Box("lampTime1"), Box("lampTime2")}),
            (QStringList{"Standby", "OK", "1200", ""}));
  EXPECT_EQ((QStringList{Box("pjlinkName"), Box("pjlinkClass")}),
            (QStringList{"display-sim", "1"}));

  EXPECT_EQ(Refused(PageKind::kControl), (QStringList{"monitorOutList", "autoConfigure"}));
  QStringList inputs;
  for (int i = 0; i < List("inputList")->count(); ++i) inputs << List("inputList")->itemText(i);
  EXPECT_EQ(inputs, (QStringList{"RGB 1", "RGB 2", "Video 1", "Digital 1", "Digital 2"}));
  fleet.ClearLog();
  Choose("inputList", 4);
  Click("inputSet");
  EXPECT_TRUE(CommandsArrive(pj, 1));
  EXPECT_EQ(Commands(pj).front(), "%1INPT 32\r");
  EXPECT_TRUE(HasOperation(pj + " Input change to Digital 2"));

  for (PageKind kind : {PageKind::kPicture, PageKind::kAdvanced, PageKind::kSpecial}) {
    EXPECT_EQ(Refused(kind).size(), ControlCount(kind)) << TabOrder(kind);
  }
}

// Off while pjlink::Frame refuses command names with a digit: "INF1" and "INF2" never go
// out, so both boxes stay empty.
TEST_F(PjlinkPagesTest, TheManufacturerAndProductAreWhatTheDisplaySays) {
  StartWith({});
  Select(SingleItem(0));
  EXPECT_EQ((QStringList{Box("manufacturer"), Box("product")}), (QStringList{"TARNEX", "SIM-PJ1"}));
}

// The controls PJLink has no command for stay with a group while one of its members takes
// them; a group of PJLink displays alone refuses them like the display itself.
TEST_F(PjlinkPagesTest, AGroupRefusesOnlyWhenNoMemberIsNative) {
  StartWith({});
  Select(Tree().GroupItem(1));
  EXPECT_TRUE(Refused(PageKind::kPicture).isEmpty());
  EXPECT_TRUE(Refused(PageKind::kControl).isEmpty());
  Select(Tree().GroupItem(0));
  EXPECT_EQ(Refused(PageKind::kControl), (QStringList{"monitorOutList", "autoConfigure"}));
  EXPECT_EQ(Refused(PageKind::kPicture).size(), ControlCount(PageKind::kPicture));
  Select(SingleItem(1));
  EXPECT_TRUE(Refused(PageKind::kPicture).isEmpty());
}

// A display warming up or in standby may answer "busy" to everything but its power: the boxes
// say so rather than keep an old value; a display without a lamp says it has none.
TEST_F(PjlinkPagesTest, BusyAnswersShowADashAndAMissingLampSaysSo) {
  StartWith({.standbyErr3 = true}, true);
  Select(SingleItem(0));
  EXPECT_EQ((QStringList{Box("power"), Box("fan"), Box("lampTime1"), Box("pjlinkName"),
                         Box("pjlinkClass")}),
            (QStringList{"Standby", "\u2014", "\u2014", "\u2014", "\u2014"}));

  Select(SingleItem(2));
  EXPECT_EQ((QStringList{Box("lampTime1"), Box("lampTime2")}), (QStringList{"No lamp", "No lamp"}));
}

}  // namespace
}  // namespace tarnex
