#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "monitor/page_flags.h"
#include "pages_fixture.h"

namespace tarnex {
namespace {

using testing::Loopback;
using testing::PagesFixture;
using testing::SimSerialChannel;
using Texts = std::vector<std::string>;

class ControlPageTest : public PagesFixture {
 protected:
  // One connected display at the address, selected by the operator.
  void SelectOne(const std::string& address, int kind = 2) {
    fleet.Add({.address = address, .kind = kind});
    Start({address});
    Select(SingleItem(0));
  }
  size_t Count(const std::vector<std::string>& progress, const std::string& event) {
    return static_cast<size_t>(std::count(progress.begin(), progress.end(), event));
  }
};

TEST_F(ControlPageTest, SelectingAConnectedDisplayReadsTheControlPageBehindThePopup) {
  fleet.Add({.address = Loopback(141)});
  Start({Loopback(141)});
  ASSERT_EQ(doc->m_docControlPageActive, 1);

  Select(SingleItem(0));

  EXPECT_EQ(Commands(Loopback(141)), (Texts{"xb 01 ff\n", "nr 01 ff\n", "kd 01 ff\n"}));
  EXPECT_EQ(ui.Progress(), (Texts{"create", "pos 25", "pos 50", "pos 75", "pos 100", "destroy"}));
  EXPECT_TRUE(Facts().inputReadOk);
  EXPECT_EQ(doc->m_docSerialTimeoutShort, 0);
  EXPECT_EQ(List("inputList")->currentText(), "HDMI");  // the simulator starts on 90
  EXPECT_EQ(List("muteList")->currentText(), "Mute Off");
  EXPECT_EQ(List("monitorOutList")->currentText(), "RGB1");
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(ControlPageTest, OnlyThePageOnTopIsRefreshed) {
  fleet.Add({.address = Loopback(142)});
  Start({Loopback(142)});
  {
    auto state = core->Lock();
    RaisePageFlag(*doc, PageKind::kPicture);  // another page is on top
  }
  Select(SingleItem(0));
  // The Picture page asks only for the signal: no input query has been answered yet.
  EXPECT_EQ(Commands(Loopback(142)), Texts{"na 01 ff\n"});
  fleet.ClearLog();

  // Bringing the Control page on top raises only its flag and reads the selected display.
  doc->m_docInformationShown = 1;
  Control().OnSetActive();
  Settle();
  EXPECT_EQ(doc->m_docControlPageActive, 1);
  EXPECT_EQ(doc->m_docPicturePageActive + doc->m_docInformationPageActive +
                doc->m_docAdvancedPageActive + doc->m_docSpecialPageActive +
                doc->m_docInformationShown + doc->m_docGroupPageActive,
            0);
  EXPECT_EQ(Commands(Loopback(142)), (Texts{"xb 01 ff\n", "nr 01 ff\n", "kd 01 ff\n"}));
}

TEST_F(ControlPageTest, AGroupIsNotReadButItsSettersReachEveryConnectedMember) {
  fleet.Add({.address = Loopback(143)});
  fleet.Add({.address = Loopback(144)});
  fleet.Add({.address = Loopback(145), .refuse = true});
  Start({Loopback(143), Loopback(144), Loopback(145)},
        {{"Wall", {"[1]" + Loopback(143), "[2]" + Loopback(145), "[3]" + Loopback(144)}}});

  Select(Tree().GroupItem(0));
  EXPECT_TRUE(fleet.Log().empty());
  EXPECT_TRUE(ui.Progress().empty());

  Choose("muteList", 1);
  EXPECT_EQ(Commands(Loopback(143)), Texts{"kd 01 01\n"});
  EXPECT_EQ(Commands(Loopback(144)), Texts{"kd 01 01\n"});
  EXPECT_EQ(fleet.Find(Loopback(144))->Value("kd"), "01");
  EXPECT_EQ(Control().MutePosition(), 1);

  // The input goes to every member, and the page writes no history line for a group.
  const size_t linesBefore = Operations().size();
  Choose("inputList", 0);
  Click("inputSet");
  EXPECT_EQ(Commands(Loopback(143)).back(), "xb 01 20\n");
  EXPECT_EQ(Commands(Loopback(144)).back(), "xb 01 20\n");
  EXPECT_EQ(Operations().size(), linesBefore);
  EXPECT_TRUE(Commands(Loopback(145)).empty());
}

struct InputCase {
  int display;  // its place in the loopback block
  int kind;
  int position;
  const char* entry;
  const char* command;
  const char* history;
};

void PrintTo(const InputCase& c, std::ostream* out) {
  *out << "kind " << c.kind << ", position " << c.position;
}

class InputByKindTest : public ControlPageTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(InputByKindTest, SetSendsTheCommandOfTheKindsListAndWritesItsHistory) {
  const InputCase& c = GetParam();
  const std::string address = Loopback(c.display);
  SelectOne(address, c.kind);
  EXPECT_EQ(QueryKind(), c.kind);
  Control().ShowValues();
  fleet.ClearLog();

  Choose("inputList", c.position);
  EXPECT_TRUE(Commands(address).empty());  // choosing alone sends nothing
  EXPECT_EQ(List("inputList")->currentText().toStdString(), c.entry);
  Click("inputSet");

  EXPECT_EQ(Commands(address), Texts{c.command});
  EXPECT_EQ(Operations().back(), address + " " + c.history);
  EXPECT_EQ(Control().InputPosition(), c.position);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, InputByKindTest,
    ::testing::Values(InputCase{146, 1, 5, "HDMI 3", "xb 01 92\n", "Input change to HDMI3"},
                      InputCase{147, 2, 5, "HDMI", "xb 01 90\n", "Input change to HDMI"},
                      InputCase{148, 3, 2, "Component 2", "xb 01 41\n",
                                "Input change to Component2"},
                      InputCase{149, 1, 2, "RGB 1", "xb 01 60\n", "Input change to RGB1"}),
    [](const ::testing::TestParamInfo<InputCase>& param) {
      return "Kind" + std::to_string(param.param.kind) + "Position" +
             std::to_string(param.param.position);
    });

TEST_F(ControlPageTest, TheReportedInputIsShownInTheListOfTheDisplaysKind) {
  SelectOne(Loopback(150), 1);
  OnWorker([&] { core->Transaction().SendCommand("xb 01 91\n"); });

  SetKind(1);
  Control().Refresh();
  Settle();
  EXPECT_EQ(Control().InputPosition(), 4);
  EXPECT_EQ(List("inputList")->currentText(), "HDMI 2");

  SetKind(2);  // position 6 lies beyond list A
  Control().Refresh();
  Settle();
  EXPECT_EQ(Control().InputPosition(), 6);
  EXPECT_EQ(List("inputList")->currentIndex(), -1);
  EXPECT_EQ(List("inputList")->count(), 6);
  EXPECT_EQ(List("inputList")->itemText(5), "HDMI");
}

TEST_F(ControlPageTest, ValuesReadFromTheDisplayAreNotSentBack) {
  fleet.Add({.address = Loopback(151)});
  Start({Loopback(151)});
  Select(SingleItem(0));
  OnWorker([&] { core->Transaction().SendCommand("kd 01 01\n"); });
  OnWorker([&] { core->Transaction().SendCommand("nr 01 02\n"); });
  fleet.ClearLog();

  Control().Refresh();
  Settle();

  EXPECT_EQ(List("muteList")->currentText(), "Mute On");
  EXPECT_EQ(List("monitorOutList")->currentText(), "AUTO");
  EXPECT_EQ(Commands(Loopback(151)), (Texts{"xb 01 ff\n", "nr 01 ff\n", "kd 01 ff\n"}));

  Choose("monitorOutList", 1);  // the operator's change is sent
  EXPECT_EQ(Commands(Loopback(151)).back(), "nr 01 01\n");
}

TEST_F(ControlPageTest, ASilentDisplayIsReportedOnceAndLeavesNoPopup) {
  SelectOne(Loopback(152));
  fleet.Find(Loopback(152))->SetSilent(true);
  fleet.ClearLog();
  const size_t eventsBefore = ui.Progress().size();

  Refresh();

  EXPECT_EQ(ui.Messages(), Texts{"Projector is Disconnected"});
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kDisconnected);
  EXPECT_EQ(doc->m_docConnectState[0], 0);
  for (const std::string& command : Commands(Loopback(152))) EXPECT_EQ(command, "xb 01 ff\n");
  const Texts progress = ui.Progress();
  const Texts refresh(progress.begin() + static_cast<long>(eventsBefore), progress.end());
  EXPECT_EQ(refresh, (Texts{"create", "destroy"}));

  // The lost display is not asked again, and the operator is not told twice.
  fleet.ClearLog();
  Refresh();
  EXPECT_TRUE(Commands(Loopback(152)).empty());
  EXPECT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(Count(ui.Progress(), "create"), Count(ui.Progress(), "destroy"));
}

// Asked for while a refresh waits for the display, a second refresh runs after the first,
// never inside it: the display sees each refresh's queries whole and in order.
TEST_F(ControlPageTest, ARefreshAskedForDuringARefreshRunsAfterIt) {
  SelectOne(Loopback(155));
  fleet.ClearLog();
  std::atomic<int> pauses{0};
  core->SetSleeper([&](std::chrono::milliseconds) {
    if (pauses++ == 0) sheet->RefreshActivePage();
  });

  Refresh();

  const Texts once = {"xb 01 ff\n", "nr 01 ff\n", "kd 01 ff\n"};
  Texts twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(Commands(Loopback(155)), twice);
}

// A change waits its turn behind the worker's current job; it still goes to the display that
// was selected when the operator made it, not to the one selected meanwhile.
TEST_F(ControlPageTest, AChangeGoesToTheDisplaySelectedWhenItWasMade) {
  fleet.Add({.address = Loopback(156)});
  fleet.Add({.address = Loopback(157)});
  Start({Loopback(156), Loopback(157)});
  Select(SingleItem(0));
  fleet.ClearLog();
  core->Jobs().Post(JobKeys::Everything(),
                    [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); });

  List("muteList")->setCurrentIndex(1);
  handler->OnSelectionChanged(SingleItem(1));
  Settle();

  EXPECT_EQ(Commands(Loopback(156)), Texts{"kd 01 01\n"});
  EXPECT_EQ(Commands(Loopback(157)), (Texts{"xb 01 ff\n", "nr 01 ff\n", "kd 01 ff\n"}));
}

// With nothing selected no button reaches a display, Power On included: the display in the
// table's first row is not "the display" because nothing else is.
TEST_F(ControlPageTest, EveryButtonNeedsATargetPowerOnIncluded) {
  fleet.Add({.address = Loopback(153)});
  Start({Loopback(153)});  // connected, nothing selected

  Click("powerOff");
  Click("autoConfigure");
  Choose("inputList", 1);
  Click("inputSet");
  Choose("muteList", 1);
  Click("powerOn");

  ASSERT_TRUE(core->Jobs().WaitIdle(std::chrono::seconds(5)));
  EXPECT_TRUE(Commands(Loopback(153)).empty());
  EXPECT_EQ(Control().MutePosition(), 1);  // the controls are still read into the members

  Select(SingleItem(0));
  fleet.ClearLog();
  Click("powerOff");
  Click("autoConfigure");
  Click("powerOn");
  EXPECT_EQ(Commands(Loopback(153)), (Texts{"ka 01 00\n", "ju 01 01\n", "ka 01 01\n"}));
}

// The kind is each display's own: a kind 1 display read before lends neither its input table
// nor its list to a kind 2 display selected after it, and keeps its own for its next turn.
TEST_F(ControlPageTest, EachDisplayIsListedAndDecodedByItsOwnKind) {
  const std::string one = Loopback(158), two = Loopback(159);
  fleet.Add({.address = one, .kind = 1});
  fleet.Add({.address = two, .kind = 2});
  Start({one, two});
  Select(SingleItem(0));
  ASSERT_EQ(QueryKind(), 1);
  Control().Refresh();
  Settle();
  EXPECT_EQ(List("inputList")->itemText(5), "HDMI 3");  // list B

  Select(SingleItem(1));
  EXPECT_EQ(Kind(), 0);                                 // nothing answered by this display yet
  EXPECT_EQ(List("inputList")->itemText(5), "HDMI");    // list A
  EXPECT_EQ(List("inputList")->currentText(), "HDMI");  // 90 by list A's table

  Select(SingleItem(0));
  EXPECT_EQ(Kind(), 1);
  EXPECT_EQ(List("inputList")->itemText(5), "HDMI 3");
}

TEST_F(ControlPageTest, AnEmptyInputListSendsNothingOnSet) {
  SelectOne(Loopback(154));
  Choose("inputList", -1);
  fleet.ClearLog();
  const size_t linesBefore = Operations().size();

  Click("inputSet");

  EXPECT_TRUE(Commands(Loopback(154)).empty());
  EXPECT_EQ(Operations().size(), linesBefore);
}

class SerialControlPageTest : public PagesFixture {
 protected:
  void SetUp() override {
    PagesFixture::SetUp();
    StartSerial(line);
  }

  SimSerialChannel line{{"0f"}};
};

TEST_F(SerialControlPageTest, AnAnsweringSetIdTurnsConnectedAndIsRead) {
  Select(SetItem(2, 4));  // PJTR 15

  EXPECT_EQ(line.written_, (Texts{"xb 0f ff\n", "nr 0f ff\n", "kd 0f ff\n"}));
  EXPECT_EQ(IconOf(SetItem(2, 4)), TreeIcon::kConnected);
  EXPECT_EQ(doc->m_docSerialConnectState[15], 1);
  EXPECT_EQ(List("inputList")->currentText(), "HDMI");
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(SerialControlPageTest, ASilentSetIdAsksToCheckItAndStopsTheReading) {
  Select(SetItem(2, 5));  // PJTR 16, nobody there

  EXPECT_EQ(line.written_, Texts{"xb 10 ff\n"});
  EXPECT_EQ(ui.Messages(), Texts{"Please Check Set ID"});
  EXPECT_FALSE(Facts().inputReadOk);
  EXPECT_FALSE(Facts().setIdAnswered);
  EXPECT_EQ(doc->m_docSerialTimeoutShort, 0);
  EXPECT_EQ(doc->m_docSerialConnectState[16], 0);

  // With the set ID not answering, bringing the page on top reads nothing.
  line.written_.clear();
  Control().OnSetActive();
  Settle();
  EXPECT_TRUE(line.written_.empty());
}

TEST_F(SerialControlPageTest, SetIdZeroIsNotReadOnActivation) {
  Select(Tree().Model().Child(Tree().SingleRoot(), 0));
  Control().OnSetActive();
  Settle();
  EXPECT_TRUE(line.written_.empty());
}

}  // namespace
}  // namespace tarnex
