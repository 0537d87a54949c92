#include <sys/stat.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <fstream>

#include "agent_login.h"
#include "app/agent_mode.h"
#include "app/main_frame.h"
#include "app/tree_icon_painter.h"
#include "gui_fixture.h"
#include "support/agent_player.h"
#include "support/mosquitto_broker.h"

namespace tarnex {
namespace {

const std::string kA = "127.0.0.31";
const std::string kB = "127.0.0.32";

agent::FleetView Fleet() {
  agent::FleetView fleet;
  fleet.displays = {{.key = kA, .label = "Lobby", .kind = "native", .mac = ""},
                    {.key = kB, .label = "", .kind = "pjlink", .mac = ""}};
  fleet.groups = {{.name = "Hall", .members = {kA, kB}}};
  return fleet;
}

agent::DisplayState State(const char* link, const char* power) {
  agent::DisplayState state;
  state.link = link;
  state.power = power;
  state.lampHours1 = 1200;
  return state;
}

bool SameIcon(const QModelIndex& index, TreeIcon icon) {
  const QIcon shown = index.data(Qt::DecorationRole).value<QIcon>();
  return shown.pixmap(16).toImage() == TreeIconPixmap(icon).toImage();
}

// The window started over an agent that the test plays on a real broker.
class AgentWindowTest : public testing::ConfigFolderFixture {
 protected:
  void SetUp() override {
    ConfigFolderFixture::SetUp();
    WriteFile("QXMNTConfig.ini", "[Communication]\nm_docCommunicationTrue=1\n");
    player.Presence("online");
    player.Fleet(Fleet());
    player.State(kA, State("up", "on"));
    player.State(kB, State("auth_failed", ""));

    doc.OnNewDocument();
    CMainFrame::Options options;
    options.view.presenter = recorder.Presenter();
    options.view.treeMenuDriver = [this](QMenu& menu, const QPoint&) -> QAction* {
      for (const QAction* action : menu.actions()) {
        treeMenu += action->isEnabled() ? '1' : '0';
        if (action->toolTip() != kNotThroughAgent) treeMenu += '?';
      }
      return menu.actions().value(0);
    };
    options.view.agent = testing::OperatorOverAgent(broker, folder);
    frame = std::make_unique<CMainFrame>(doc, login, options);
    View().OnInitialUpdate();
    ASSERT_TRUE(testing::RunUntil([this] { return Members(Model().index(0, 0)) == 2; }));
  }
  void TearDown() override {
    frame.reset();
    ConfigFolderFixture::TearDown();
  }

  COsprelNetworkManagerView& View() { return frame->View(); }
  AgentTreeModel& Model() { return View().Agent()->Model(); }
  AgentSheet& Sheet() { return View().Agent()->Sheet(); }
  int Members(const QModelIndex& index) { return Model().rowCount(index); }
  QModelIndex Single(int row) { return Model().index(row, 0, Model().index(0, 0)); }
  QModelIndex Group(int row) { return Model().index(row, 0, Model().index(1, 0)); }
  void Select(const QModelIndex& index) {
    View().TreeView()->setCurrentIndex(index);
    QCoreApplication::processEvents();
  }
  QString ModeLine() { return View().ModeEdit()->text(); }

  testing::MosquittoBroker broker;
  testing::AgentPlayer player{broker};
  testing::MessageRecorder recorder;
  std::string treeMenu;  // "1" an enabled entry, "0" one off, "?" without the reason
  LoginCredentials login{kDefaultLoginId, kDefaultLoginPassword};
  COsprelNetworkManagerDoc doc;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(AgentWindowTest, TheTreeIsThePublishedFleetWithIconsFromTheStates) {
  EXPECT_EQ(Model().index(0, 0).data().toString(), "Single");
  EXPECT_EQ(Single(0).data().toString(), "Lobby");
  EXPECT_EQ(Single(1).data().toString(), QString::fromStdString(kB));
  EXPECT_EQ(Model().index(1, 0).data().toString(), "Group");
  EXPECT_EQ(Group(0).data().toString(), "Hall");
  EXPECT_EQ(Members(Group(0)), 2);
  ASSERT_TRUE(testing::RunUntil([&] { return SameIcon(Single(0), TreeIcon::kConnected); }));
  EXPECT_TRUE(SameIcon(Single(1), TreeIcon::kDisconnected));
  EXPECT_EQ(Single(1).data(Qt::ToolTipRole).toString(), "Password rejected");
  EXPECT_EQ(ModeLine(), "Agent: site-a");

  // A display that joins is in the tree when the fleet says so; its link follows its state.
  agent::FleetView more = Fleet();
  more.displays.push_back({.key = "127.0.0.33", .label = "Foyer", .kind = "native", .mac = ""});
  player.Fleet(more);
  ASSERT_TRUE(testing::RunUntil([&] { return Members(Model().index(0, 0)) == 3; }));
  EXPECT_EQ(Single(2).data().toString(), "Foyer");
  player.State(kA, State("down", ""));
  ASSERT_TRUE(testing::RunUntil([&] { return SameIcon(Single(0), TreeIcon::kDisconnected); }));
}

TEST_F(AgentWindowTest, AnAgentThatGoesGreysTheTree) {
  Select(Single(0));
  ASSERT_TRUE(Sheet().PowerOnButton()->isEnabled());
  player.Presence("offline");
  ASSERT_TRUE(testing::RunUntil([&] { return ModeLine() == "Agent unreachable"; }));
  for (const QModelIndex& index : {Model().index(0, 0), Single(0), Single(1), Group(0)}) {
    EXPECT_FALSE(Model().itemFromIndex(index)->isEnabled())
        << index.data().toString().toStdString();
  }
  EXPECT_FALSE(Sheet().PowerOnButton()->isEnabled());
  EXPECT_FALSE(Sheet().InputSetButton()->isEnabled());

  player.Presence("online");
  ASSERT_TRUE(testing::RunUntil([&] { return ModeLine() == "Agent: site-a"; }));
  EXPECT_TRUE(Model().itemFromIndex(Single(0))->isEnabled());
  EXPECT_TRUE(Sheet().PowerOnButton()->isEnabled());
}

TEST_F(AgentWindowTest, APowerClickIsOneCommandForTheSelectedDisplayOrGroup) {
  Select(Single(0));
  QTest::mouseClick(Sheet().PowerOnButton(), Qt::LeftButton);
  auto command = player.NextCommand();
  ASSERT_TRUE(command);
  ParsedRequest sent = RequestFromJson(command->payload);
  ASSERT_TRUE(sent.request) << sent.error;
  EXPECT_EQ(sent.request->verb, ScriptRequest::Verb::kPower);
  EXPECT_TRUE(sent.request->on);
  EXPECT_EQ(sent.request->targets, std::vector<std::string>{"display:" + kA});
  // The answer finds another item selected: it is shown all the same, as the page shows one.
  Select(Group(0));
  ScriptReport failed;
  failed.results = {testing::AnsweredResult(kA, false, "No reply from the display")};
  player.Answer(*command, failed);
  ASSERT_TRUE(testing::RunUntil([&] { return recorder.messages.size() == 1; }));
  EXPECT_EQ(recorder.messages[0], "No reply from the display");

  Sheet().InputList()->setCurrentIndex(Sheet().InputList()->findData("hdmi2"));
  QTest::mouseClick(Sheet().InputSetButton(), Qt::LeftButton);
  command = player.NextCommand();
  ASSERT_TRUE(command);
  sent = RequestFromJson(command->payload);
  ASSERT_TRUE(sent.request) << sent.error;
  EXPECT_EQ(sent.request->verb, ScriptRequest::Verb::kInput);
  EXPECT_EQ(sent.request->input, "hdmi2");
  EXPECT_EQ(sent.request->targets, std::vector<std::string>{"group:Hall"});
  ScriptReport done;
  done.results = {testing::AnsweredResult(kA, true), testing::AnsweredResult(kB, true)};
  player.Answer(*command, done);
  QTest::qWait(200);
  EXPECT_EQ(player.CommandsWaiting(), 0u);
  EXPECT_EQ(recorder.messages.size(), 1);
}

TEST_F(AgentWindowTest, ControlAndInformationFollowTheState) {
  Select(Single(0));
  ASSERT_TRUE(testing::RunUntil([&] { return Sheet().InfoBox("Power")->text() == "on"; }));
  EXPECT_EQ(Sheet().InfoBox("Link")->text(), "up");
  EXPECT_EQ(Sheet().InfoBox("Lamp Time1")->text(), "1200");
  agent::DisplayState next = State("up", "off");
  next.input = "rgb1";
  next.mute = "on";
  player.State(kA, next);
  ASSERT_TRUE(testing::RunUntil([&] { return Sheet().InfoBox("Power")->text() == "off"; }));
  EXPECT_EQ(Sheet().InputList()->currentData().toString(), "rgb1");
  EXPECT_EQ(Sheet().MuteList()->currentData().toString(), "on");
  // Showing a state sends nothing.
  QTest::qWait(100);
  EXPECT_EQ(player.CommandsWaiting(), 0u);
  Select(Group(0));
  EXPECT_TRUE(Sheet().InfoBox("Power")->text().isEmpty());
}

TEST_F(AgentWindowTest, WhatTheAgentDoesNotCarryIsOffAndSaysWhy) {
  QTabWidget* tabs = Sheet().Tabs();
  ASSERT_EQ(tabs->count(), 5);
  EXPECT_TRUE(tabs->isTabEnabled(0));
  EXPECT_TRUE(tabs->isTabEnabled(1));
  for (int tab = 2; tab < 5; ++tab) {
    EXPECT_FALSE(tabs->isTabEnabled(tab)) << tab;
    EXPECT_EQ(tabs->tabToolTip(tab), kNotThroughAgent);
    EXPECT_EQ(tabs->widget(tab)->accessibleDescription(), kNotThroughAgent);
  }
  for (QAction* action : {frame->SearchAction(), frame->ConnectAction(), frame->StatusAction(),
                          frame->MessageAction(), frame->ScheduleAction(), frame->AlarmAction()}) {
    EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    EXPECT_EQ(action->toolTip(), kNotThroughAgent);
  }
  EXPECT_TRUE(frame->SettingAction()->isEnabled());
  EXPECT_FALSE(View().TreeView()->dragEnabled());
  // The tree's menu (group editing, backup, restore) shows every entry off, and choosing one
  // does nothing.
  Select(Single(0));
  QTest::keyClick(View().TreeView(), Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(treeMenu, "000000000");
  EXPECT_TRUE(recorder.messages.isEmpty());
  EXPECT_EQ(Members(Group(0)), 2);
}

}  // namespace
}  // namespace tarnex
