// The operator walks the tree faster than the displays answer, and changes things while jobs
// wait: every read, setter and blame still reaches the display it was aimed at.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "console/group_editor.h"
#include "pages/slider_binding.h"
#include "pages_fixture.h"

namespace tarnex {
namespace {

using testing::Loopback;
using testing::PagesFixture;
using Texts = std::vector<std::string>;

const Texts kRefresh = {"xb 01 ff\n", "nr 01 ff\n", "kd 01 ff\n"};

using StaleReadTest = PagesFixture;

// Three displays, the middle one silent: each read goes to the display selected when it was
// asked, the stale ones are dropped or cut short without blaming anyone, and the page shows the
// display selected last.
TEST_F(StaleReadTest, WalkingPastASilentDisplayReadsAndBlamesOnlyWhatIsSelected) {
  const std::string a = Loopback(1), silent = Loopback(2), c = Loopback(3);
  for (const std::string& address : {a, silent, c}) fleet.Add({.address = address});
  Start({a, silent, c});
  fleet.Find(silent)->SetSilent(true);
  const CommandTarget third = core->Transaction().DisplayTarget(2);
  OnWorker([&] { core->Transaction().SendCommand("kd 01 01\n", third); });
  fleet.ClearLog();

  handler->OnSelectionChanged(SingleItem(0));
  handler->OnSelectionChanged(SingleItem(1));
  ASSERT_TRUE(CommandsArrive(silent, 1));  // its read waits for the silent display
  handler->OnSelectionChanged(SingleItem(2));
  Settle();

  EXPECT_EQ(Commands(c), kRefresh);
  const Texts toA = Commands(a);  // a prefix of its own refresh, however far it got
  ASSERT_LE(toA.size(), kRefresh.size());
  EXPECT_TRUE(std::equal(toA.begin(), toA.end(), kRefresh.begin()));
  EXPECT_EQ(Commands(silent), Texts{"xb 01 ff\n"});
  EXPECT_EQ(List("muteList")->currentText(), "Mute On");  // the display selected last
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_FALSE(HasOperation("Monitor is not communicated with PC"));
  EXPECT_TRUE(mailer.Alarms().empty());
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(doc->m_docConnectState[static_cast<size_t>(row)], 1) << row;
    EXPECT_EQ(IconOf(SingleItem(row)), TreeIcon::kConnected) << row;
  }
}

// A refresh still queued when the operator selects a group is dropped: it would otherwise read
// every member and turn their replies into group history lines.
TEST_F(StaleReadTest, ARefreshQueuedBeforeAGroupIsSelectedReadsNothing) {
  const std::string a = Loopback(4), b = Loopback(5);
  fleet.Add({.address = a});
  fleet.Add({.address = b});
  Start({a, b}, {{"Pair", {"[1]" + a, "[2]" + b}}});
  const size_t connects = Operations().size();
  {
    testing::JobsHeld held(core->Jobs());
    handler->OnSelectionChanged(SingleItem(0));
    handler->OnSelectionChanged(Tree().GroupItem(0));
  }
  Settle();

  EXPECT_TRUE(Commands(a).empty());
  EXPECT_TRUE(Commands(b).empty());
  EXPECT_EQ(Operations().size(), connects);
}

// Setters and sliders take their target when the operator acts: a delete, or a click on another
// display, before the worker gets to them changes nothing about where they go.
TEST_F(StaleReadTest, ChangesKeepTheirDisplayThroughADeleteOrANewSelection) {
  const std::string first = Loopback(6), second = Loopback(7);
  fleet.Add({.address = first});
  fleet.Add({.address = second});
  Start({first, second});
  Select(SingleItem(0));
  QSlider slider;
  QLineEdit box;
  SliderBinding contrast(*core, &slider, &box, "kg");
  fleet.ClearLog();
  {
    testing::JobsHeld held(core->Jobs());
    slider.setValue(40);  // a keyboard step sends at once
    handler->OnSelectionChanged(SingleItem(1));
  }
  Settle();
  EXPECT_EQ(Commands(first), Texts{"kg 01 28\n"});
  EXPECT_EQ(Commands(second), kRefresh);

  Select(SingleItem(0));
  fleet.ClearLog();
  {
    testing::JobsHeld held(core->Jobs());
    Widget<QPushButton>("powerOff")->click();
    EXPECT_EQ(CGroupEditor(*core).DeleteProjector(), "");
  }
  Settle();
  EXPECT_TRUE(Commands(first).empty());
  EXPECT_TRUE(Commands(second).empty());
}

}  // namespace
}  // namespace tarnex
