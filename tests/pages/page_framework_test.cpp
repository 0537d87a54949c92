#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <array>

#include "monitor/control_tables.h"
#include "monitor/display_kind.h"
#include "monitor/page_reader.h"
#include "monitor/page_setter.h"
#include "monitor/shared_queries.h"
#include "pages/choice_list.h"
#include "pages/slider_binding.h"
#include "pages_fixture.h"

namespace tarnex {
namespace {

using testing::Loopback;
using testing::PagesFixture;
using Texts = std::vector<std::string>;
using namespace std::string_literals;

TEST(ReplyMatching, OnlyTheFirstTenCharactersOfAReplyCount) {
  struct Case {
    std::string reply;
    std::optional<int> position;
  };
  const Case cases[] = {
      {"b 01 OK90x", 5},
      {"b 01 OK90x\r\n", 5},         // trailing line end
      {"b 01 OK90xb 01 OK20x", 5},   // two replies in one read
      {"b 01 OK90x\0junk"s, 5},      // NUL-terminated buffer
      {"b 01 OK9", std::nullopt},    // cut short
      {"b 01 OK93x", std::nullopt},  // unknown input
      {"b 01 NGx", std::nullopt},
      {"d 01 OK01x", std::nullopt},  // another setting's reply
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchPosition(c.reply, control::kInputRepliesOther), c.position) << c.reply;
  }
}

TEST(ReplyMatching, TheFirstEqualEntryWinsWhereTwoRepliesShareAPosition) {
  EXPECT_EQ(MatchPosition("b 01 OK41x", control::kInputRepliesKind1), 2);
  EXPECT_EQ(MatchPosition("b 01 OK60x", control::kInputRepliesKind1), 2);
  EXPECT_EQ(MatchPosition("b 01 OK91x", control::kInputRepliesKind1), 4);
  EXPECT_EQ(MatchPosition("b 01 OK91x", control::kInputRepliesOther), 6);
}

TEST(SliderReplies, TheTwoDigitsAfterOkCarryTheValue) {
  struct Case {
    const char* reply;
    std::optional<int> value;
  };
  const Case cases[] = {
      {"g 01 OK64x", 100},        {"g 01 OK0ax", 10},        {"g 01 OK32x", 50},
      {"w 01 OK50x", 80},         {"g 01 OK00x", 0},         {"g 01 OK64xtrailing", 100},
      {"g 01 NGx", std::nullopt}, {"g 01 OK", std::nullopt}, {"g 01 OKzzx", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(SliderValueOf(c.reply), c.value) << c.reply;
}

TEST(DisplayKindReplies, AnyAnswerIsAKindAndSilenceIsKindZero) {
  struct Case {
    std::optional<std::string> reply;
    int kind;
  };
  const Case cases[] = {
      {std::nullopt, 0},     {"", 0},           {"u 01 OK01x", 1}, {"u 01 OK02x", 2},
      {"u 01 OK03xtail", 3}, {"u 01 OK04x", 1}, {"u 01 NGx", 1},   {"garbage", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(DisplayKindOf(c.reply), c.kind) << c.reply.value_or("-");
}

TEST(PageSetters, PositionsWithoutACommandHaveNone) {
  static constexpr std::array<std::string_view, 3> commands = {"nn 01 00\n", "", "nn 01 02\n"};
  constexpr PageSetter setter{commands};
  EXPECT_EQ(setter.CommandAt(0), "nn 01 00\n");
  EXPECT_EQ(setter.CommandAt(1), "");
  EXPECT_EQ(setter.CommandAt(3), "");
  EXPECT_EQ(setter.CommandAt(-1), "");
}

TEST(ChoiceLists, FillingAndShowingAreNoOperatorChoice) {
  QComboBox list;
  QSignalSpy changes(&list, &QComboBox::currentIndexChanged);
  FillChoiceList(&list, control::kMonitorOutList);
  EXPECT_EQ(list.count(), 3);
  EXPECT_EQ(list.itemText(2), "AUTO");
  ShowChoice(&list, 1);
  EXPECT_EQ(list.currentText(), "RGB2");
  ShowChoice(&list, 3);  // beyond the list: nothing shows
  EXPECT_EQ(list.currentIndex(), -1);
  EXPECT_EQ(changes.count(), 0);
}

class FrameworkTest : public PagesFixture {
 protected:
  // One connected display, selected.
  void SelectOne(const std::string& address) {
    fleet.Add({.address = address});
    Start({address});
    Select(SingleItem(0));
    fleet.ClearLog();
  }
};

TEST_F(FrameworkTest, ASliderShowsWhatItReadsAndSendsOnlyWhatTheOperatorDoes) {
  const std::string kAddress = Loopback(160);
  SelectOne(kAddress);
  QSlider slider(Qt::Horizontal);
  QLineEdit box;
  SliderBinding contrast(*core, &slider, &box, "kg");
  OnWorker([&] { core->Transaction().SendCommand("kg 01 4b\n"); });
  fleet.ClearLog();

  Tree().MarkSelectedDisconnected();
  contrast.ReadLater();
  Settle();
  EXPECT_EQ(Tree().ViewState().m_bConnect, 1);
  EXPECT_EQ(slider.value(), 75);
  EXPECT_EQ(box.text(), "75");
  EXPECT_EQ(Commands(kAddress), Texts{"kg 01 ff\n"});

  fleet.ClearLog();
  QTest::keyClick(&box, Qt::Key_Backspace);  // "7": sent as a blank-padded "%2x"
  EXPECT_EQ(slider.value(), 7);
  Settle();
  EXPECT_EQ(Commands(kAddress), Texts{"kg 01  7\n"});
  EXPECT_EQ(fleet.Find(kAddress)->Value("kg"), "07");

  fleet.ClearLog();
  slider.setSliderDown(true);  // dragging only shows the value
  slider.setValue(100);
  EXPECT_EQ(box.text(), "100");
  Settle();
  EXPECT_TRUE(Commands(kAddress).empty());
  {
    // Each action sends the value of its own moment, however late the worker gets to it.
    testing::JobsHeld held(core->Jobs());
    slider.setSliderDown(false);  // released
    slider.setValue(30);          // a keyboard step
  }
  Settle();
  EXPECT_EQ(Commands(kAddress), (Texts{"kg 01 64\n", "kg 01 1e\n"}));
}

TEST_F(FrameworkTest, ASliderGoneBeforeItsReplyIsLeftAlone) {
  const std::string kAddress = Loopback(162);
  SelectOne(kAddress);
  {
    testing::JobsHeld held(core->Jobs());
    QSlider slider(Qt::Horizontal);
    QLineEdit box;
    SliderBinding(*core, &slider, &box, "kg").ReadLater();
  }
  Settle();
  EXPECT_EQ(Commands(kAddress), Texts{"kg 01 ff\n"});
}

TEST_F(FrameworkTest, SharedQueriesAskTheSelectedDisplay) {
  const std::string kAddress = Loopback(161);
  SelectOne(kAddress);
  fleet.Find(kAddress)->SetKind(3);
  Tree().MarkSelectedDisconnected();  // an answer alone says the display is reachable
  EXPECT_EQ(QueryKind(), 3);
  EXPECT_EQ(Kind(), 3);
  EXPECT_EQ(Tree().ViewState().m_bConnect, 1);
  const ReadContext here = ReadContext::ForSelection(*core);
  EXPECT_EQ(OnWorker([&] { return QuerySignal(here); }), 1);
  fleet.Find(kAddress)->SetSignal(false);
  EXPECT_EQ(OnWorker([&] { return QuerySignal(here); }), 0);

  // The input check stores the input for the Control page in list A order.
  OnWorker([&] { core->Transaction().SendCommand("xb 01 92\n"); });
  EXPECT_EQ(OnWorker([&] { return CheckInput(here); }), 1);
  std::optional<int> input;
  EXPECT_EQ(OnWorker([&] { return CheckInput(here, &input); }), 1);
  EXPECT_EQ(input, 7);

  fleet.Find(kAddress)->SetSilent(true);
  EXPECT_EQ(OnWorker([&] { return CheckInput(here, &input); }), 0);
  EXPECT_EQ(QueryKind(), 0);
  EXPECT_EQ(ui.Messages(), Texts{"Projector is Disconnected"});
}

}  // namespace
}  // namespace tarnex
