// A seeded operator works a fleet of displays of three kinds, of which some flap, faster than
// the displays answer: selects displays, groups and members (some listing an address no
// display has), reads, asks kinds, sets, powers off, edits groups, renames, deletes and then
// presses every command, closes healthy displays' links under a running send, and closes at the
// end. The test keeps its own model of what was selected when each
// action was taken, and the simulator logs what each display received; the console's captured
// targets are never consulted.
//
// Each setter encodes its aim in its value: contrast ("kg") carries the index of the display
// it was meant for, brightness ("kh") the group it was sent to. A display's contrast therefore
// always equals its own index, which is what a read of it must show. Power On and a contrast of
// kNobody are pressed only while nothing is selected: no display may ever receive them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include "console/command_transaction.h"
#include "console/group_editor.h"
#include "console/link_supervisor.h"
#include "console/selection_handler.h"
#include "monitor/control_readers.h"
#include "monitor/display_kind.h"
#include "monitor/page_setter.h"
#include "monitor/read_context.h"
#include "monitor/slider_reader.h"
#include "protocol/command_frame.h"
#include "registry/tree_labels.h"
#include "support/console_fixture.h"
#include "support/loopback_block.h"

namespace tarnex {
namespace {

using testing::Loopback;

constexpr int kDisplays = 50;
constexpr int kFlappers = 10;  // the first ones; the others answer every command
constexpr int kActions = 2000;
constexpr int kNobody = 99;  // a contrast value no display was aimed with
constexpr const char* kPowerOn = "ka 01 01\n";

// The value of a set command, "kg 01  a\n" -> 10.
std::optional<int> SetValueOf(std::string_view command) {
  if (command.size() < 8) return std::nullopt;
  const std::string digits(command.substr(6, 2));
  char* end = nullptr;
  const long value = std::strtol(digits.c_str(), &end, 16);
  if (end == digits.c_str()) return std::nullopt;
  return static_cast<int>(value);
}

class RandomOperatorTest : public testing::ConsoleFixture {
 protected:
  // The page on top: a selection that connects reads the display, as the Control page does.
  class Pages : public PageHost {
   public:
    explicit Pages(RandomOperatorTest& test) : m_test(test) {}
    void RefreshActivePage() override { m_test.PostRead(); }

   private:
    RandomOperatorTest& m_test;
  };

  void SetUp() override {
    ConsoleFixture::SetUp();
    sockets.receiveTimeoutMs = 400;
    ui.QueueUiCalls(true);
    handler = std::make_unique<CSelectionHandler>(*core, pages);
    supervisor = std::make_unique<CLinkSupervisor>(*core, pages);
    const char* seedText = std::getenv("TARNEX_OPERATOR_SEED");
    seed = seedText != nullptr ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                               : std::random_device{}();
    random.seed(seed);
  }
  void TearDown() override {
    core->Stop();
    supervisor.reset();
    core->Jobs().Stop();
    ui.RunUiCalls();
    handler.reset();
    ConsoleFixture::TearDown();
  }

  // ---- The model ----
  int IndexOf(std::string_view address) const {
    const auto found = index.find(std::string(address));
    return found == index.end() ? -1 : found->second;
  }
  std::vector<TreeItem> Children(TreeItem parent) {
    auto state = core->Lock();
    const auto children = state->Tree().Model().Children(parent);
    return {children.begin(), children.end()};
  }
  std::string Label(TreeItem item) { return core->Lock()->Tree().Model().Label(item); }

  void SelectDisplay() {
    const std::vector<TreeItem> singles = Children(Tree().SingleRoot());
    if (singles.empty()) return;
    const TreeItem item = singles[Pick(singles.size())];
    selectedDisplay = IndexOf(DisplayKey(Label(item)));
    selectedGroup = -1;
    selectedMember = false;
    handler->OnSelectionChanged(item);
  }
  void SelectGroup() {
    const std::vector<TreeItem> groups = Children(Tree().GroupRoot());
    if (groups.empty()) return;
    const size_t g = Pick(groups.size());
    selectedDisplay = -1;
    selectedGroup = static_cast<int>(g);
    std::set<std::string>& members = groupMembers[selectedGroup];
    for (TreeItem member : Children(groups[g])) members.emplace(DisplayKey(Label(member)));
    handler->OnSelectionChanged(groups[g]);
  }

  // A member item: its display, or nothing for a listing no display of the table holds.
  void SelectMember() {
    const std::vector<TreeItem> groups = Children(Tree().GroupRoot());
    if (groups.empty()) return;
    const std::vector<TreeItem> members = Children(groups[Pick(groups.size())]);
    if (members.empty()) return;
    const TreeItem item = members[Pick(members.size())];
    const std::string address(DisplayKey(Label(item)));
    const int at = IndexOf(address);
    selectedDisplay = at >= 0 && deleted.count(address) == 0 ? at : -1;
    selectedGroup = -1;
    selectedMember = true;
    handler->OnSelectionChanged(item);
  }

  // ---- The operator's actions, as the pages take them ----
  void PostRead() {
    ReadContext context = ReadContext::ForSelection(*core);
    const int aimed = selectedDisplay;
    JobKeys keys = context.Keys();
    core->Jobs().Post(std::move(keys), [this, context, aimed] {
      const ControlReadings readings = ReadControlPage(context, true);
      if (!readings.answered) return;
      const SliderReading contrast = ReadSliderValue(context, "kg");
      if (!contrast.value) return;
      ui.RunOnUi([this, context, aimed, value = *contrast.value] { Show(context, aimed, value); });
    });
  }
  // The kind is asked and kept with the display it was asked of, whatever is selected when the
  // answer is stored.
  void AskKind() {
    ReadContext context = ReadContext::ForSelection(*core);
    JobKeys keys = context.Keys();
    core->Jobs().Post(std::move(keys), [this, context] {
      const int kind = QueryDisplayKind(context);
      ui.RunOnUi([this, context, kind] { StoreDisplayKind(*core, context, kind); });
    });
  }
  // The UI thread: a reading is shown only while its selection stands, and must be the selected
  // display's own.
  void Show(const ReadContext& context, int aimed, int value) {
    {
      auto state = core->Lock();
      if (!context.StillSelected(state)) return;
    }
    ++shown;
    if (selectedDisplay != aimed || value != aimed) {
      std::string recent;
      if (aimed >= 0) {
        for (const std::string& c : fleet.CommandsTo(addresses[static_cast<size_t>(aimed)]))
          recent += c;
      }
      ADD_FAILURE() << "shown contrast " << value << " while display " << selectedDisplay
                    << " is selected (read aimed at " << aimed << ")" << recent;
    }
  }
  void SetContrastOrBrightness() {
    if (selectedDisplay >= 0) {
      PostToTarget(*core, protocol::BuildSetValue("kg", selectedDisplay));
    } else if (selectedGroup >= 0) {
      PostToTarget(*core, protocol::BuildSetValue("kh", selectedGroup));
    } else {
      PressEverything();
    }
  }
  // Nothing is selected: every button, the ones that ask for no usable target included, and
  // the backup's capture must reach no display at all.
  void PressEverything() {
    PostToSelection(*core, kPowerOn);
    PostToTarget(*core, protocol::BuildSetValue("kg", kNobody));
    EXPECT_EQ(core->Transaction().CaptureTarget().route, CommandTarget::Route::kNone);
  }
  void PowerOff() {
    if (selectedDisplay < 0 && selectedGroup < 0) return;
    if (!PostToTarget(*core, "ka 01 00\n")) return;
    if (selectedDisplay >= 0) powerAimed.insert(addresses[static_cast<size_t>(selectedDisplay)]);
    if (selectedGroup >= 0) {
      const auto& members = groupMembers[selectedGroup];
      powerAimed.insert(members.begin(), members.end());
    }
  }
  void EditGroups() {
    CGroupEditor editor(*core);
    if (Pick(3) == 0) {
      // The line names the display selected now, or none.
      const std::string name = "G" + std::to_string(++made);
      createdFor[name] =
          selectedDisplay >= 0 ? addresses[static_cast<size_t>(selectedDisplay)] : std::string();
      editor.MakeGroup(name);
    }
    const int groups = core->Lock()->Doc().m_docGroupNumCount;
    if (selectedDisplay >= 0 && groups > 0) editor.AddToGroup(static_cast<int>(Pick(groups)));
  }
  void Rename() {
    if (selectedDisplay >= 0) CGroupEditor(*core).ChangeName("N" + std::to_string(++made));
  }
  void Delete() {
    if (selectedDisplay < kFlappers) return;  // keep the flappers flapping
    // A selected member leaves its group; a display under "Single" leaves the table.
    CGroupEditor(*core).DeleteProjector();
    if (!selectedMember) deleted.insert(addresses[static_cast<size_t>(selectedDisplay)]);
    selectedDisplay = -1;
    // Nothing is selected any more: a change made now must reach no display at all, least of
    // all the one that moved into the deleted display's row.
    PressEverything();
  }
  // A healthy display's link goes while commands may be on their way to it: nothing it did,
  // so it is never blamed, and the next supervision pass connects it again.
  void CloseHealthyLink() {
    const std::string& address = addresses[kFlappers + Pick(kDisplays - kFlappers)];
    DisplayId id = kNoDisplay;
    {
      auto state = core->Lock();
      const int row = LastRowOf(state, address);
      if (row >= 0) id = state->IdAt(row);
    }
    // Not under the console lock: the close waits for an exchange in flight on the link.
    if (id != kNoDisplay) core->Link().Sockets().Close(id);
  }
  static int LastRowOf(const CConsoleCore::State& state, const std::string& address) {
    for (int row = state->Doc().m_docSocketNumber - 1; row >= 0; --row) {
      if (state->Doc().m_docDisplays[static_cast<size_t>(row)].m_address == address) return row;
    }
    return -1;
  }
  void Flap() {
    sim::SimDisplay* display = fleet.Find(addresses[Pick(kFlappers)]);
    switch (Pick(4)) {
      case 0:
        display->SetSilent(Pick(2) == 0);
        break;
      case 1:
        display->SetRefuse(Pick(3) == 0);
        break;
      case 2:
        display->SetDelayMs(Pick(2) == 0 ? 100 : 0);
        break;
      default:
        display->SetSilent(false);
        display->SetRefuse(false);
        break;
    }
  }

  virtual void Act() {
    const size_t roll = Pick(100);
    if (roll < 22) {
      SelectDisplay();
    } else if (roll < 29) {
      SelectGroup();
    } else if (roll < 33) {
      SelectMember();
    } else if (roll < 43) {
      if (selectedDisplay >= 0) PostRead();
    } else if (roll < 46) {
      AskKind();
    } else if (roll < 66) {
      SetContrastOrBrightness();
    } else if (roll < 72) {
      PowerOff();
    } else if (roll < 78) {
      EditGroups();
    } else if (roll < 81) {
      Rename();
    } else if (roll < 84) {
      Delete();
    } else if (roll < 86) {
      CloseHealthyLink();
    } else if (roll < 97) {
      Flap();
    } else {
      supervisor->OnTick();
    }
  }

  size_t Pick(size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); }

  // The operator's actions, then the close: whatever still waits ends at once, blaming nobody.
  void OperateAndClose() {
    for (int action = 1; action <= kActions; ++action) {
      Act();
      Breathe(action);
    }
    core->Stop();
    supervisor->Wait();
    core->Jobs().Stop();
    ui.RunUiCalls();
  }

  // Keeps the queues short: the operator waits now and then, as the popup makes one do.
  void Breathe(int action) {
    ui.RunUiCalls();
    if (action % 25 == 0) {
      core->Jobs().WaitIdle(std::chrono::seconds(5));
      ui.RunUiCalls();
    }
  }

  void StartFleet() {
    for (int i = 0; i < kDisplays; ++i) {
      addresses.push_back(Loopback(i + 1));
      index[addresses.back()] = i;
      fleet.Add({.address = addresses.back(), .kind = KindOf(i)});
    }
    // Displays listed twice in a group receive a group's command once per listing; "Ghost"
    // lists an address that no display of the table has.
    Configure(addresses, {{"Twice",
                           {"[1]" + addresses[0], "[2]" + addresses[0], "[3]" + addresses[20],
                            "[4]" + addresses[21]}},
                          {"Wide", {"[1]" + addresses[1], "[2]" + addresses[22]}},
                          {"Ghost", {"[1]" + Loopback(kDisplays + 1), "[2]" + addresses[23]}}});
    core->BuildTree();
    for (int i = 0; i < kDisplays; ++i) {
      core->Transaction().SendCommand(protocol::BuildSetValue("kg", i),
                                      core->Transaction().DisplayTarget(i));
    }
    fleet.ClearLog();
  }

  static int KindOf(int display) { return display % 3 + 1; }

  void CheckWhatEachDisplayReceived() {
    for (const sim::LogEntry& entry : fleet.Log()) {
      const std::string_view command = entry.command;
      EXPECT_NE(command, kPowerOn) << entry.address << " was powered on";
      const std::optional<int> value = SetValueOf(command);
      if (command.starts_with("kg 01 ") && command != "kg 01 ff\n") {
        EXPECT_TRUE(value && *value < kDisplays &&
                    addresses[static_cast<size_t>(*value)] == entry.address)
            << entry.address << " received " << command;
      } else if (command.starts_with("kh 01 ")) {
        EXPECT_TRUE(value && groupMembers[*value].count(entry.address) == 1)
            << entry.address << " received " << command;
      } else if (command == "ka 01 00\n") {
        EXPECT_EQ(powerAimed.count(entry.address), 1u) << entry.address << " was powered off";
      }
    }
  }

  // Each display keeps the kind it answered itself; none took another's.
  void CheckEachDisplayKeepsItsOwnKind() {
    auto state = core->Lock();
    for (int row = 0; row < state->Doc().m_docSocketNumber; ++row) {
      const DisplayFacts* facts = state->FactsOf(state->IdAt(row));
      const int own =
          KindOf(IndexOf(state->Doc().m_docDisplays[static_cast<size_t>(row)].m_address));
      EXPECT_TRUE(facts == nullptr || facts->kind == 0 || facts->kind == own) << "row " << row;
    }
  }

  // A power line names a display powered off by an action aimed at it; a group's creation
  // names the display selected then, or none.
  void CheckHistoryNamesTheDisplaysAimedAt() {
    for (const std::string& line : Operations()) {
      const std::string subject = line.substr(0, line.find(' '));
      const std::string operation = line.substr(line.find(' ') + 1);
      EXPECT_TRUE(operation != "Power Off" || powerAimed.count(subject) == 1) << line;
      if (operation.starts_with("Create ")) {
        const std::string name = operation.substr(7, operation.size() - 7 - 6);
        EXPECT_EQ(subject, createdFor[name]) << line;
      }
    }
  }

  void CheckNoHealthyDisplayWasBlamed() {
    for (const std::string& line : Operations()) {
      if (line.find("Monitor is not communicated with PC") == std::string::npos) continue;
      const int blamed = IndexOf(line.substr(0, line.find(' ')));
      EXPECT_TRUE(blamed < kFlappers) << line;
    }
    for (const std::string& alarm : mailer.Alarms()) {
      EXPECT_TRUE(IndexOf(alarm.substr(alarm.find(' ') + 1)) < kFlappers) << alarm;
    }
  }

  void CheckTheSavedFileHoldsEveryDisplayNotDeleted() {
    ASSERT_TRUE(doc->WriteNetworkConfig());
    COsprelNetworkManagerDoc reloaded;
    reloaded.OnNewDocument();
    std::vector<std::string> expected;
    for (const std::string& address : addresses) {
      if (deleted.count(address) == 0) expected.push_back(address);
    }
    std::vector<std::string> saved;
    for (int i = 0; i < reloaded.m_docSocketNumber; ++i) {
      saved.push_back(reloaded.m_docDisplays[static_cast<size_t>(i)].m_address);
    }
    EXPECT_EQ(saved, expected);
  }

  Pages pages{*this};
  std::unique_ptr<CSelectionHandler> handler;
  std::unique_ptr<CLinkSupervisor> supervisor;
  unsigned seed = 0;
  std::mt19937 random;

  std::vector<std::string> addresses;
  std::map<std::string, int> index;
  int selectedDisplay = -1;
  int selectedGroup = -1;
  bool selectedMember = false;  // the selected display was selected by a member item
  std::map<int, std::set<std::string>> groupMembers;  // every member a group had when selected
  std::set<std::string> powerAimed;
  std::set<std::string> deleted;
  std::map<std::string, std::string> createdFor;  // group name -> the address its line names
  int made = 0;
  int shown = 0;
};

TEST_F(RandomOperatorTest, EveryCommandReadingAndBlameBelongsToTheDisplayAimedAt) {
  SCOPED_TRACE("TARNEX_OPERATOR_SEED=" + std::to_string(seed));
  StartFleet();
  OperateAndClose();

  CheckWhatEachDisplayReceived();
  CheckNoHealthyDisplayWasBlamed();
  CheckEachDisplayKeepsItsOwnKind();
  CheckHistoryNamesTheDisplaysAimedAt();
  CheckTheSavedFileHoldsEveryDisplayNotDeleted();
  EXPECT_GT(shown, 0);
}

// The same operator on the serial line: set IDs 1 to 20 answer, 21 to 30 are silent, and the
// groups list a set ID twice. The line's own log says which set ID each command was written
// for.
class RandomSerialOperatorTest : public RandomOperatorTest {
 protected:
  static constexpr int kAnswering = 20;

  void SetUp() override {
    RandomOperatorTest::SetUp();
    doc->m_docCommunicationSelect = kSerialMode;
    doc->m_docSerialGroupNumCount = 2;
    doc->m_docGroupName[0] = "Twice";
    doc->m_docGroupName[1] = "Wide";
    doc->SetSerialGroupMemberCount(0, 3);
    doc->m_docSerialGroups[0].m_labels = {"[1]PJTR 5", "[2]PJTR 5", "[3]PJTR 15"};
    doc->SetSerialGroupMemberCount(1, 2);
    doc->m_docSerialGroups[1].m_labels = {"[1]PJTR 3", "[2]PJTR 25"};
    core->SetSerialChannel(&line);
    core->BuildTree();
    for (int number = 1; number <= kAnswering; ++number) {
      CommandTarget target;
      target.route = CommandTarget::Route::kSerial;
      target.setIds = {*protocol::DeriveSetId(std::to_string(number))};
      core->Transaction().SendCommand(protocol::BuildSetValue("kg", number), target);
    }
    line.written_.clear();
  }

  // A set-ID item of the first three ranges: PJTR 1 to 30.
  void SelectSetId() {
    const std::vector<TreeItem> ranges = Children(Tree().SingleRoot());
    const std::vector<TreeItem> items = Children(ranges[1 + Pick(3)]);
    const TreeItem item = items[Pick(items.size())];
    selectedDisplay = SerialSetNumber(Label(item)).value_or(-1);
    selectedGroup = -1;
    handler->OnSelectionChanged(item);
  }
  // "PJTR 0" reaches every display on the line: only while it is the selection itself.
  void SelectSetZero() {
    selectedDisplay = 0;
    selectedGroup = -1;
    handler->OnSelectionChanged(Children(Tree().SingleRoot())[0]);
  }
  void SelectSerialGroup() {
    const std::vector<TreeItem> groups = Children(Tree().GroupRoot());
    const size_t g = Pick(groups.size());
    selectedDisplay = -1;
    selectedGroup = static_cast<int>(g);
    for (TreeItem member : Children(groups[g])) {
      groupMembers[selectedGroup].insert(
          *protocol::DeriveSetId(std::to_string(*SerialSetNumber(Label(member)))));
    }
    handler->OnSelectionChanged(groups[g]);
  }
  void Act() override {
    const size_t roll = Pick(100);
    if (roll < 32) {
      SelectSetId();
    } else if (roll < 37) {
      SelectSetZero();
    } else if (roll < 47) {
      SelectSerialGroup();
    } else if (roll < 65) {
      if (selectedDisplay > 0) PostRead();
    } else {
      SetContrastOrBrightness();
    }
  }

  void CheckWhatEachSetIdWasSent() {
    for (const std::string& command : line.written_) {
      const std::string setId = command.substr(3, 2);
      const std::optional<int> value = SetValueOf(command);
      if (command.starts_with("kg") && value && *value != 0xff) {
        EXPECT_EQ(setId, protocol::DeriveSetId(std::to_string(*value))) << command;
      } else if (command.starts_with("kh")) {
        EXPECT_TRUE(value && groupMembers[*value].count(setId) == 1) << command;
      }
    }
  }

  testing::SimSerialChannel line{[] {
    std::vector<std::string> ids;
    for (int number = 1; number <= kAnswering; ++number) {
      ids.push_back(*protocol::DeriveSetId(std::to_string(number)));
    }
    return ids;
  }()};
};

TEST_F(RandomSerialOperatorTest, EveryCommandAndReadingBelongsToTheSetIdAimedAt) {
  SCOPED_TRACE("TARNEX_OPERATOR_SEED=" + std::to_string(seed));
  OperateAndClose();

  CheckWhatEachSetIdWasSent();
  EXPECT_GT(shown, 0);
}

}  // namespace
}  // namespace tarnex
