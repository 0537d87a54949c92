#include "console/command_transaction.h"

#include <gtest/gtest.h>

#include "support/console_fixture.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;
using testing::SimSerialChannel;

class TransactionTest : public ConsoleFixture {
 protected:
  void SelectGroup(int group) { SelectItem(Tree().GroupItem(group)); }
  void SelectDisplay(int index) { SelectItem(SingleItem(index)); }
};

TEST_F(TransactionTest, ASingleSendReturnsTheDisplaysReply) {
  fleet.Add({.address = Loopback(61)});
  Configure({Loopback(61)});
  core->BuildTree();
  SelectDisplay(0);

  EXPECT_EQ(Send("kd 01 01\n"), "d 01 OK01x");
  EXPECT_EQ(Send("kd 01 ff\n"), "d 01 OK01x");
  EXPECT_EQ(fleet.CommandsTo(Loopback(61)), (std::vector<std::string>{"kd 01 01\n", "kd 01 ff\n"}));
  EXPECT_TRUE(ui.Progress().empty());  // no popup for one display
}

TEST_F(TransactionTest, AGroupSendReachesEveryMemberOnceInOrderWithItsHistory) {
  for (const std::string& address : {Loopback(62), Loopback(63), Loopback(64)}) {
    fleet.Add({.address = address});
  }
  Configure({Loopback(62), Loopback(63), Loopback(64)},
            {{"Wall", {"[1]" + Loopback(64), "[2]" + Loopback(62), "[3]" + Loopback(63)}}});
  core->BuildTree();
  fleet.ClearLog();
  SelectGroup(0);

  const CommandTarget target = core->Transaction().CaptureTarget();
  const SendOutcome outcome = core->Transaction().Send("xb 01 90\n", target);
  EXPECT_EQ(outcome.reply, "b 01 OK90x");

  // The members are sent to side by side: each gets the command once; the popup moves as
  // each one finishes.
  for (const std::string& address : {Loopback(62), Loopback(63), Loopback(64)}) {
    EXPECT_EQ(fleet.CommandsTo(address), std::vector<std::string>{"xb 01 90\n"}) << address;
  }
  EXPECT_EQ(ui.Progress(), (std::vector<std::string>{"create", "pos 0", "pos 33", "pos 66",
                                                     "pos 100", "pos 100", "destroy"}));
  // The reply of an input change names no history text.
  EXPECT_EQ(Operations().size(), 3u);  // only the three connects of the build
  // The send ends at its last member; the operator's selection stays where it was.
  EXPECT_EQ(outcome.last, core->Lock()->IdAt(1));
  EXPECT_EQ(Selected().kind(), Selection::Kind::kGroup);
}

// The two unread replies of a group power command must not answer the member's next query.
TEST_F(TransactionTest, AMemberAnswersItsOwnQueryAfterAGroupPowerCommand) {
  fleet.Add({.address = Loopback(67)});
  Configure({Loopback(67)}, {{"G", {"[1]" + Loopback(67)}}});
  core->BuildTree();
  SelectGroup(0);
  EXPECT_EQ(Send("ka 01 00\n"), "a 01 OK00x");
  ASSERT_TRUE(CommandsArrive(Loopback(67), 2));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both replies are queued

  SelectDisplay(0);
  const auto reply = Send("kd 01 ff\n");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->substr(0, 7), "d 01 OK");
}

// A closing console cuts the exchange short; the display is not marked down or reported.
TEST_F(TransactionTest, AStoppedConsoleEndsTheExchangeWithoutBlamingTheDisplay) {
  fleet.Add({.address = Loopback(68), .silent = true});
  Configure({Loopback(68)});
  core->BuildTree();
  SelectDisplay(0);
  core->Stop();

  EXPECT_FALSE(Send("kd 01 ff\n"));
  EXPECT_EQ(doc->m_docConnectState[0], 1);
  EXPECT_TRUE(mailer.Alarms().empty());
  EXPECT_EQ(Operations(), std::vector<std::string>{Loopback(68) + " Connected to Monitor"});
}

TEST_F(TransactionTest, PowerToAGroupIsAnsweredWithoutReadingAndWrittenPerMember) {
  fleet.Add({.address = Loopback(65)});
  fleet.Add({.address = Loopback(66), .silent = true});
  Configure({Loopback(65), Loopback(66)}, {{"Both", {"[1]" + Loopback(65), "[2]" + Loopback(66)}}});
  core->BuildTree();
  SelectGroup(0);

  EXPECT_EQ(Send("ka 01 01\n"), "a 01 OK01x");

  // Even the silent display is not waited for; each gets the command twice.
  EXPECT_TRUE(CommandsArrive(Loopback(66), 2));
  EXPECT_EQ(fleet.CommandsTo(Loopback(66)), (std::vector<std::string>{"ka 01 01\n", "ka 01 01\n"}));
  const std::vector<std::string> operations = Operations();
  ASSERT_EQ(operations.size(), 4u);
  EXPECT_EQ(operations[2], Loopback(65) + " Power On");
  EXPECT_EQ(operations[3], Loopback(66) + " Power On");
  EXPECT_EQ(doc->m_docConnectState[1], 1);
}

TEST_F(TransactionTest, AMemberWhoseAddressOccursTwiceIsSentTwice) {
  fleet.Add({.address = Loopback(67)});
  // Two table entries with one address, both connected, as an older configuration may hold.
  doc->m_docSocketNumber = 2;
  for (int i = 0; i < 2; ++i) {
    doc->m_docDisplays[static_cast<size_t>(i)].m_address = Loopback(67);
    doc->m_docCurrentDisplay = i;
    core->Link().SetViewIp(Loopback(67));
    ASSERT_EQ(core->Link().ConnectMonitor(), 1);
  }
  {
    auto state = core->Lock();
    state->Tree().AppendSingle(Loopback(67), TreeIcon::kConnected);
    const TreeItem group = state->Tree().AppendGroup("Twice");
    state->Tree().AppendMember(group, "[1]" + Loopback(67), TreeIcon::kConnected);
  }
  SelectGroup(0);

  EXPECT_EQ(Send("kd 01 00\n"), "d 01 OK00x");
  EXPECT_EQ(fleet.CommandsTo(Loopback(67)), (std::vector<std::string>{"kd 01 00\n", "kd 01 00\n"}));
}

TEST_F(TransactionTest, AnAllDisconnectedGroupShowsThePopupAndSendsNothing) {
  fleet.Add({.address = Loopback(68), .refuse = true});
  Configure({Loopback(68)}, {{"Down", {"[1]" + Loopback(68)}}});
  core->BuildTree();
  SelectGroup(0);

  EXPECT_EQ(Send("ka 01 00\n"), std::nullopt);
  EXPECT_TRUE(fleet.Log().empty());
  EXPECT_EQ(ui.Progress().front(), "create");
  EXPECT_EQ(ui.Progress().back(), "destroy");
}

TEST_F(TransactionTest, AnEmptyGroupOrADownDisplaySendsNothing) {
  fleet.Add({.address = Loopback(69), .refuse = true});
  Configure({Loopback(69)}, {{"Empty", {}}});
  core->BuildTree();
  SelectGroup(0);
  EXPECT_EQ(Send("ka 01 01\n"), std::nullopt);
  SelectDisplay(0);
  EXPECT_EQ(Send("ka 01 01\n"), std::nullopt);
  EXPECT_TRUE(ui.Progress().empty());
}

TEST_F(TransactionTest, ASilentDisplayIsGivenUpWithOneHistoryLineAndOneAlarm) {
  fleet.Add({.address = Loopback(70), .silent = true});
  Configure({Loopback(70)}, {{"G", {"[1]" + Loopback(70)}}});
  core->BuildTree();
  SelectDisplay(0);

  EXPECT_EQ(Send("kd 01 ff\n"), std::nullopt);

  EXPECT_EQ(fleet.CommandsTo(Loopback(70)).size(), 3u);
  EXPECT_EQ(doc->m_docConnectState[0], 0);
  EXPECT_EQ(core->Link().Sockets().Get(0), kNoSocket);
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kDisconnected);
  EXPECT_EQ(IconOf(Tree().Model().Child(Tree().GroupItem(0), 0)), TreeIcon::kDisconnected);
  EXPECT_EQ(Operations().back(), Loopback(70) + " Monitor is not communicated with PC");
  EXPECT_EQ(mailer.Alarms(), std::vector<std::string>{"2 " + Loopback(70)});

  // Down now: nothing more is sent, and no second alarm.
  EXPECT_EQ(Send("kd 01 ff\n"), std::nullopt);
  EXPECT_EQ(fleet.CommandsTo(Loopback(70)).size(), 3u);
  EXPECT_EQ(mailer.Alarms().size(), 1u);
}

// Asks its queries in turn and keeps the replies ("-" for silence).
class ScriptedSequence : public MemberSequence {
 public:
  explicit ScriptedSequence(std::vector<std::string> queries) : m_queries(std::move(queries)) {}
  std::optional<MemberQuery> Start() override { return Ask(); }
  std::optional<MemberQuery> Next(std::optional<std::string> reply) override {
    replies.push_back(reply.value_or("-"));
    return Ask();
  }
  std::vector<std::string> replies;

 private:
  std::optional<MemberQuery> Ask() {
    if (m_next >= m_queries.size()) return std::nullopt;
    return MemberQuery{m_queries[m_next++], false};
  }
  std::vector<std::string> m_queries;
  size_t m_next = 0;
};

// A display listed twice runs its two sequences one after the other, never interleaved; a
// silent one is given up once, in member order, and its second listing asks nothing.
TEST_F(TransactionTest, MemberSequencesOfADisplayListedTwiceRunInWaves) {
  const std::string a = Loopback(90), silent = Loopback(91);
  fleet.Add({.address = a});
  fleet.Add({.address = silent, .silent = true});
  Configure({a, silent});
  core->BuildTree();
  const DisplayId idA = core->Lock()->IdAt(0), idSilent = core->Lock()->IdAt(1);
  CommandTarget target;
  target.route = CommandTarget::Route::kNetworkGroup;
  target.members = {idA, idSilent, idA, idSilent};
  std::vector<ScriptedSequence> sequences(4, ScriptedSequence({"kd 01 01\n", "kd 01 ff\n"}));
  std::vector<MemberSequence*> running;
  for (auto& sequence : sequences) running.push_back(&sequence);
  std::vector<size_t> progress;

  const std::vector<SequenceOutcome> outcomes = core->Transaction().RunSequences(
      target, running, {}, [&](size_t done) { progress.push_back(done); });

  EXPECT_EQ(fleet.CommandsTo(a),
            (std::vector<std::string>{"kd 01 01\n", "kd 01 ff\n", "kd 01 01\n", "kd 01 ff\n"}));
  EXPECT_EQ(fleet.CommandsTo(silent).size(), 3u);  // one query, three tries
  EXPECT_EQ(sequences[0].replies, (std::vector<std::string>{"d 01 OK01x", "d 01 OK01x"}));
  EXPECT_TRUE(outcomes[1].givenUp);
  EXPECT_TRUE(outcomes[3].skipped && !outcomes[3].givenUp);
  EXPECT_TRUE(outcomes[2].up && !outcomes[2].givenUp && !outcomes[2].skipped);
  EXPECT_EQ(progress.back(), 4u);
  EXPECT_EQ(doc->m_docConnectState[1], 0);
  EXPECT_EQ(Operations().back(), silent + " Monitor is not communicated with PC");
  EXPECT_EQ(mailer.Alarms(), std::vector<std::string>{"2 " + silent});
}

TEST_F(TransactionTest, TheDisplayKindQueryToASilentDisplayLeavesItUp) {
  fleet.Add({.address = Loopback(71), .silent = true});
  Configure({Loopback(71)});
  core->BuildTree();
  SelectDisplay(0);

  EXPECT_EQ(Send("nu 01 ff\n"), std::nullopt);
  EXPECT_EQ(fleet.CommandsTo(Loopback(71)), std::vector<std::string>{"nu 01 ff\n"});
  EXPECT_EQ(doc->m_docConnectState[0], 1);
  EXPECT_TRUE(mailer.Alarms().empty());
  EXPECT_EQ(Operations().size(), 1u);  // the connect only
}

TEST_F(TransactionTest, TheGroupHistoryTableComparesTheWholeAcknowledgement) {
  EXPECT_EQ(GroupHistoryText("a 01 OK01x"), "Power On");
  EXPECT_EQ(GroupHistoryText("a 01 OK00x"), "Power Off");
  EXPECT_EQ(GroupHistoryText("b 01 OK09x"), "Power HDMI_PC");
  EXPECT_EQ(GroupHistoryText("# 01 OK0100x"), "Clear Message");
  EXPECT_EQ(GroupHistoryText("a 01 OK01x\r\n"), std::nullopt);
  EXPECT_EQ(GroupHistoryText("d 01 OK01x"), std::nullopt);  // a mute is no power command
  EXPECT_EQ(GroupHistoryText("a 01 OK03x"), std::nullopt);
  EXPECT_EQ(GroupHistoryText("a 01"), std::nullopt);
  EXPECT_EQ(GroupHistoryText(""), std::nullopt);
}

class SerialTransactionTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ConsoleFixture::SetUp();
    doc->m_docCommunicationSelect = kSerialMode;
    doc->m_docSerialGroupNumCount = 1;
    doc->m_docGroupName[0] = "Hall";
    doc->SetSerialGroupMemberCount(0, 3);
    doc->m_docSerialGroups[0].m_labels = {"[1]PJTR 5", "[2]PJTR 15", "[3]PJTR 31"};
    core->SetSerialChannel(&line);
    core->BuildTree();
  }
  void Select(TreeItem item) { SelectItem(item); }

  SimSerialChannel line{{"05", "0f"}};
};

TEST_F(SerialTransactionTest, ASetIdItemIsAddressedByItsSetId) {
  const TreeModel& model = Tree().Model();
  const TreeItem range = model.Child(Tree().SingleRoot(), 2);  // 11 ~ 20
  Select(model.Child(range, 4));                               // PJTR 15
  EXPECT_EQ(Send("ka 01 ff\n"), "a 01 OK01x");
  EXPECT_EQ(line.written_, std::vector<std::string>{"ka 0f ff\n"});
}

// The history names each member as its label does, by its decimal set number: "15", not the
// set ID "0f" (a hex "10" would read as set 10 and be set 16).
TEST_F(SerialTransactionTest, AGroupSendAddressesEachMemberAndWritesItsHistory) {
  Select(Tree().GroupItem(0));
  EXPECT_EQ(Send("ka 01 00\n"), "");  // the last member, set ID 1f, is silent
  EXPECT_EQ(line.written_, (std::vector<std::string>{"ka 05 00\n", "ka 0f 00\n", "ka 1f 00\n"}));
  EXPECT_EQ(Operations("Serial_HistoryReport.txt"),
            (std::vector<std::string>{"5 Power Off", "15 Power Off"}));
}

// The console is closing: no member hears another command, so a group's pauses and waits do
// not add up after the close.
TEST_F(SerialTransactionTest, NothingIsWrittenOnceTheConsoleStops) {
  Select(Tree().GroupItem(0));
  core->Stop();
  EXPECT_EQ(Send("ka 01 00\n"), std::nullopt);  // cancelled before the first member
  EXPECT_TRUE(line.written_.empty());
}

// Set ID 00 reaches every display on the line: only the "PJTR 0" item itself sends there. A
// group selected after it is its members, each at its own set ID.
TEST_F(SerialTransactionTest, SetIdZeroIsTheSingleItemsAloneNotAGroupSelectedAfterIt) {
  Select(Tree().Model().Child(Tree().SingleRoot(), 0));  // PJTR 0
  Send("ka 01 01\n");
  Select(Tree().GroupItem(0));
  Send("ka 01 01\n");
  EXPECT_EQ(line.written_,
            (std::vector<std::string>{"ka 00 01\n", "ka 05 01\n", "ka 0f 01\n", "ka 1f 01\n"}));
}

TEST_F(SerialTransactionTest, RangeItemsRootsAndAMissingPortSendNothing) {
  Select(Tree().Model().Child(Tree().SingleRoot(), 1));
  EXPECT_EQ(Send("ka 01 ff\n"), std::nullopt);
  Select(Tree().SingleRoot());
  EXPECT_EQ(Send("ka 01 ff\n"), std::nullopt);
  EXPECT_TRUE(line.written_.empty());

  core->SetSerialChannel(nullptr);
  Select(Tree().Model().Child(Tree().SingleRoot(), 0));
  EXPECT_EQ(Send("ka 01 ff\n"), "");
}

TEST_F(SerialTransactionTest, ACapturedTargetKeepsItsSetIdWhateverIsSelectedLater) {
  CommandTarget target;
  target.route = CommandTarget::Route::kSerial;
  target.setIds = {"0f"};
  Select(Tree().Model().Child(Tree().SingleRoot(), 1));
  EXPECT_EQ(core->Transaction().SendCommand("kd 01 ff\n", target), "d 01 OK00x");
  target.setIds = {"not a set ID"};
  EXPECT_EQ(core->Transaction().SendCommand("kd 01 ff\n", target), "");
  EXPECT_EQ(line.written_, std::vector<std::string>{"kd 0f ff\n"});
}

}  // namespace
}  // namespace tarnex
