#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>

#include <algorithm>

#include "monitor/advanced_tables.h"
#include "pages/menu_page.h"
#include "pages/picture_page.h"
#include "pages_fixture.h"

namespace tarnex {
namespace {

using testing::Loopback;
using testing::PagesFixture;
using testing::SimSerialChannel;
using Texts = std::vector<std::string>;

const Texts kPictureReads = {"ns 01 ff\n", "kg 01 ff\n", "kh 01 ff\n",
                             "ki 01 ff\n", "kk 01 ff\n", "nm 01 ff\n"};

class MenuPagesTest : public PagesFixture {
 protected:
  void SetUp() override {
    controlOnTop = false;
    PagesFixture::SetUp();
  }
  void SelectOne(sim::DisplayOptions options) {
    fleet.Add(options);
    Start({options.address});
    Select(SingleItem(0));
  }
  CMenuPage& Page(PageKind kind) const { return *static_cast<CMenuPage*>(sheet->Page(kind)); }
  void Show(PageKind kind) {
    sheet->ShowPage(kind);
    Settle();
  }
  // A page's control by its accessible name, the title of its frame.
  template <typename W>
  W* Named(PageKind kind, const std::string& frame) const {
    for (W* widget : Page(kind).findChildren<W*>()) {
      if (widget->accessibleName().toStdString() == frame) return widget;
    }
    ADD_FAILURE() << "no control named " << frame;
    return nullptr;
  }
  void Choose(PageKind kind, const std::string& frame, const char* entry) {
    QComboBox* list = Named<QComboBox>(kind, frame);
    list->setCurrentIndex(list->findText(QString::fromLatin1(entry)));
    Settle();
  }
  // What was sent to change a setting, without the queries.
  Texts Sets(const std::string& address) const {
    Texts sets;
    for (const std::string& command : Commands(address)) {
      if (!command.ends_with(" ff\n")) sets.push_back(command);
    }
    return sets;
  }
  bool AllEnabled(PageKind kind, bool enabled) const {
    for (QWidget* widget : Page(kind).findChildren<QWidget*>()) {
      if (widget->inherits("QComboBox") || widget->inherits("QSlider") ||
          widget->inherits("QLineEdit")) {
        if (widget->isEnabled() != enabled) return false;
      }
    }
    return true;
  }
  Texts ProgressSince(size_t events) const {
    const Texts all = ui.Progress();
    return Texts(all.begin() + static_cast<long>(std::min(events, all.size())), all.end());
  }
};

struct ListCase {
  PageKind page;
  const char* frame;
  const char* entry;
  const char* sent;
  const char* letters;
  const char* reported;  // the data the display reports next
  const char* shown;     // "" when no entry shows
};

TEST_F(MenuPagesTest, ListsSendTheChosenEntryAndShowTheReportedOne) {
  const std::string address = Loopback(401);
  SelectOne({.address = address});
  const ListCase cases[] = {
      {PageKind::kPicture, "Picture Mode", "Game", "ns 01 04\n", "ns", "06", "Expert2"},
      {PageKind::kPicture, "Black Level", "High", "nm 01 01\n", "nm", "00", "Low"},
      // Code 03 has no entry and changes nothing.
      {PageKind::kAdvanced, "Color Temperature", "Natural", "ku 01 04\n", "ku", "03", "Natural"},
      {PageKind::kAdvanced, "3D", "Side by Side", "nn 01 01\n", "nn", "04", "Frame Packing"},
      {PageKind::kAdvanced, "3D L/R", "L/R", "no 01 01\n", "no", "00", "R/L"},
      // A cinema-zoom step beyond the list shows no entry; 05 changes nothing.
      {PageKind::kSpecial, "Aspect Ratio", "Just Scan", "kc 01 09\n", "kc", "13", ""},
      {PageKind::kSpecial, "Aspect Ratio", "4:3", "kc 01 01\n", "kc", "05", "4:3"},
      {PageKind::kSpecial, "Key Lock", "Lock On", "km 01 01\n", "km", "00", "Lock Off"},
      {PageKind::kSpecial, "High Altitude", "On", "ko 01 01\n", "ko", "00", "Off"},
      {PageKind::kSpecial, "Lamp Mode", "Economic", "np 01 01\n", "np", "02", ""},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(std::string(c.frame) + " " + c.entry);
    Show(c.page);
    fleet.ClearLog();
    Choose(c.page, c.frame, c.entry);
    EXPECT_EQ(Sets(address), Texts{c.sent});

    fleet.Find(address)->SetValue(c.letters, c.reported);
    Page(c.page).Refresh();
    Settle();
    EXPECT_EQ(Named<QComboBox>(c.page, c.frame)->currentText().toStdString(), c.shown);
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(MenuPagesTest, ChoosingAModeReadsThePictureAgainBehindThePopup) {
  const std::string address = Loopback(402);
  SelectOne({.address = address});
  Show(PageKind::kPicture);
  fleet.ClearLog();
  const size_t events = ui.Progress().size();

  Choose(PageKind::kPicture, "Picture Mode", "Game");

  Texts expected = {"ns 01 04\n", "na 01 ff\n"};
  expected.insert(expected.end(), kPictureReads.begin(), kPictureReads.end());
  EXPECT_EQ(Commands(address), expected);
  EXPECT_EQ(ProgressSince(events), (Texts{"create", "pos 10", "pos 20", "pos 30", "pos 40",
                                          "pos 50", "pos 60", "pos 100", "destroy"}));
  // The simulator's contrast is 32: digits 3 and 2 are 50.
  EXPECT_EQ(Named<QSlider>(PageKind::kPicture, "Contrast")->value(), 50);
  EXPECT_EQ(Named<QLineEdit>(PageKind::kPicture, "Contrast")->text(), "50");
  const auto ground = [&](const char* frame) {
    return Named<QLineEdit>(PageKind::kPicture, frame)->palette().color(QPalette::Base);
  };
  EXPECT_NE(ground("Contrast"), QColor(Qt::white));

  Choose(PageKind::kPicture, "Picture Mode", "Expert1");
  EXPECT_EQ(static_cast<CAV&>(Page(PageKind::kPicture)).LastChosenMode(), 5);
  EXPECT_EQ(ground("Contrast"), QColor(Qt::white));
  EXPECT_EQ(ground("Sharpness"), QColor(Qt::white));
}

// A display of kind 3 is not asked for its signal on the first display of the page; the
// refresh asks, and without a signal reads nothing more. The Control page has read its input.
TEST_F(MenuPagesTest, WithoutASignalThePictureIsDisabledAndNotRead) {
  const std::string address = Loopback(403);
  controlOnTop = true;
  SelectOne({.address = address, .kind = 3, .signal = false});
  fleet.ClearLog();
  const size_t events = ui.Progress().size();

  Show(PageKind::kPicture);

  EXPECT_EQ(Commands(address), (Texts{"nu 01 ff\n", "na 01 ff\n"}));
  EXPECT_TRUE(AllEnabled(PageKind::kPicture, false));
  EXPECT_TRUE(ProgressSince(events).empty());

  fleet.Find(address)->SetSignal(true);
  fleet.ClearLog();
  Page(PageKind::kPicture).Refresh();
  Settle();
  EXPECT_TRUE(AllEnabled(PageKind::kPicture, true));
  Texts expected = {"na 01 ff\n"};
  expected.insert(expected.end(), kPictureReads.begin(), kPictureReads.end());
  EXPECT_EQ(Commands(address), expected);
}

TEST_F(MenuPagesTest, TheThreeDListsFollowTheSignalAndTheGainsAreOnlyShown) {
  const std::string quiet = Loopback(404);
  const std::string lit = Loopback(405);
  fleet.Add({.address = quiet, .signal = false});
  fleet.Add({.address = lit, .kind = 1});
  fleet.Find(lit)->SetValue("jw", "50");
  Start({quiet, lit});
  Select(SingleItem(0));
  fleet.ClearLog();
  const size_t events = ui.Progress().size();

  Show(PageKind::kAdvanced);

  const Texts asked = {"nu 01 ff\n", "xb 01 ff\n", "na 01 ff\n"};
  Texts twice = asked;  // the first display of the page, then its refresh
  twice.insert(twice.end(), asked.begin(), asked.end());
  EXPECT_EQ(Commands(quiet), twice);
  EXPECT_TRUE(ProgressSince(events).empty());
  EXPECT_FALSE(Named<QComboBox>(PageKind::kAdvanced, "3D")->isEnabled());
  EXPECT_FALSE(Named<QComboBox>(PageKind::kAdvanced, "3D L/R")->isEnabled());
  EXPECT_TRUE(Named<QComboBox>(PageKind::kAdvanced, "Color Temperature")->isEnabled());

  Select(SingleItem(1));
  EXPECT_TRUE(Named<QComboBox>(PageKind::kAdvanced, "3D")->isEnabled());
  EXPECT_TRUE(Named<QComboBox>(PageKind::kAdvanced, "3D L/R")->isEnabled());
  EXPECT_EQ(ProgressSince(events), (Texts{"create", "pos 10", "pos 20", "pos 40", "pos 60",
                                          "pos 80", "pos 90", "pos 100", "destroy"}));
  // Red gain digits 5 and 0 are 80, shown and never to be set here.
  QSlider* red = Named<QSlider>(PageKind::kAdvanced, "Color R");
  EXPECT_EQ(red->value(), 80);
  EXPECT_EQ(Named<QLineEdit>(PageKind::kAdvanced, "Color R")->text(), "80");
  EXPECT_FALSE(red->isEnabled());
  EXPECT_FALSE(Named<QLineEdit>(PageKind::kAdvanced, "Color B")->isEnabled());
  EXPECT_EQ(Named<QComboBox>(PageKind::kAdvanced, "3D")->currentText(), "Off");
}

// "Frame Packing" has no command: nothing goes out and the list shows what the display has.
TEST_F(MenuPagesTest, FramePackingSendsNothingAndTheListShowsTheDisplaysSetting) {
  const std::string address = Loopback(406);
  SelectOne({.address = address});
  Show(PageKind::kAdvanced);
  fleet.ClearLog();

  Choose(PageKind::kAdvanced, "3D", "Frame Packing");

  EXPECT_EQ(Commands(address), Texts{"nn 01 ff\n"});
  EXPECT_EQ(Named<QComboBox>(PageKind::kAdvanced, "3D")->currentText(), "Off");
  EXPECT_EQ(Page(PageKind::kAdvanced).Value(advanced::k3d), 3);
}

TEST_F(MenuPagesTest, NothingSelectedSendsNothingAndAGroupGetsEachCommandOncePerMember) {
  constexpr int kMembers = 200;
  std::vector<std::string> addresses;
  std::vector<std::string> labels;
  for (int n = 0; n < kMembers; ++n) {
    addresses.push_back(Loopback(411 + n));
    labels.push_back("[" + std::to_string(n) + "]" + addresses.back());
    fleet.Add({.address = addresses.back()});
  }
  Start(addresses, {{"Hall", labels}});
  Show(PageKind::kSpecial);
  fleet.ClearLog();  // the connects' kind queries

  Choose(PageKind::kSpecial, "Lamp Mode", "Economic");
  EXPECT_TRUE(fleet.Log().empty());

  Select(Tree().GroupItem(0));
  Choose(PageKind::kSpecial, "Lamp Mode", "Normal");
  for (const std::string& address : addresses) {
    ASSERT_EQ(Commands(address), Texts{"np 01 00\n"}) << address;
  }
}

// A page shows only what was read from the selection: once a group is selected, the values
// read from the display before show no entry until the operator picks one.
TEST_F(MenuPagesTest, AGroupSelectedAfterADisplayShowsNoneOfTheDisplaysValues) {
  const std::string address = Loopback(404);
  fleet.Add({.address = address});
  Start({address}, {{"Hall", {"[1]" + address}}});
  Select(SingleItem(0));
  Show(PageKind::kSpecial);
  ASSERT_NE(Named<QComboBox>(PageKind::kSpecial, "Key Lock")->currentIndex(), -1);

  Select(Tree().GroupItem(0));
  for (PageKind kind : {PageKind::kPicture, PageKind::kAdvanced, PageKind::kSpecial}) {
    for (QComboBox* list : Page(kind).findChildren<QComboBox*>()) {
      EXPECT_EQ(list->currentIndex(), -1) << list->accessibleName().toStdString();
    }
    for (QLineEdit* box : Page(kind).findChildren<QLineEdit*>()) {
      EXPECT_TRUE(box->text().isEmpty()) << box->accessibleName().toStdString();
    }
  }
}

class SerialMenuPagesTest : public MenuPagesTest {
 protected:
  void SetUp() override {
    MenuPagesTest::SetUp();
    StartSerial(line);
  }

  SimSerialChannel line{{"0f"}};
};

// The Picture refresh waits briefly for each reply; the command after it waits as long as ever.
TEST_F(SerialMenuPagesTest, ThePicturesShortSerialWaitEndsWithItsRefresh) {
  sheet->ShowPage(PageKind::kControl);
  Select(SetItem(2, 4));  // PJTR 15: its input is read, so the Picture page reads it too
  line.written_.clear();
  line.timeouts_.clear();

  Show(PageKind::kPicture);
  Choose(PageKind::kPicture, "Black Level", "High");

  ASSERT_GE(line.written_.size(), 7u);
  EXPECT_EQ(line.written_.back(), "nm 0f 01\n");
  const size_t reads = line.written_.size() - 7;  // the six reads and the change
  for (size_t i = reads; i < reads + 6; ++i) EXPECT_EQ(line.timeouts_[i], 1000) << i;
  EXPECT_EQ(line.timeouts_.back(), 3000);
  EXPECT_EQ(doc->m_docSerialTimeoutShort, 0);
}

// The Special page's check turns the item's icon and leaves the set ID's serial state alone.
TEST_F(SerialMenuPagesTest, SerialIconsFollowTheSpecialPagesCheck) {
  Show(PageKind::kSpecial);
  Select(SetItem(2, 5));  // PJTR 16: nobody answers
  EXPECT_EQ(IconOf(SetItem(2, 5)), TreeIcon::kDisconnected);
  EXPECT_EQ(ui.Messages(), Texts{"Please Check Set ID"});

  Select(SetItem(2, 4));  // PJTR 15
  EXPECT_EQ(IconOf(SetItem(2, 4)), TreeIcon::kConnected);
  EXPECT_EQ(doc->m_docSerialConnectState[15], 0);
  EXPECT_EQ(line.written_.back(), "np 0f ff\n");
}

TEST_F(MenuPagesTest, TabsStandInOrderAndEveryControlIsNamedByItsFrame) {
  Start({});
  QStringList titles;
  for (int i = 0; i < sheet->Tabs()->count(); ++i) titles << sheet->Tabs()->tabText(i);
  EXPECT_EQ(titles, (QStringList{"Information", "Control", "Picture menu", "Advanced menu",
                                 "Special menu"}));
  for (PageKind kind : {PageKind::kPicture, PageKind::kAdvanced, PageKind::kSpecial}) {
    for (QWidget* control : Page(kind).findChildren<QWidget*>()) {
      if (!control->inherits("QComboBox") && !control->inherits("QSlider") &&
          !control->inherits("QLineEdit")) {
        continue;
      }
      auto* frame = qobject_cast<QGroupBox*>(control->parentWidget());
      ASSERT_NE(frame, nullptr);
      EXPECT_EQ(control->accessibleName(), frame->title());
    }
  }
}

}  // namespace
}  // namespace tarnex
