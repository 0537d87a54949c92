#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <thread>

#include "app/device_tree_view_model.h"
#include "app/main_frame.h"
#include "app/window_layout.h"
#include "config/history_report.h"
#include "config/network_manager_doc.h"
#include "console/command_transaction.h"
#include "display-sim/command_log.h"
#include "display-sim/display_fleet.h"
#include "display-sim/serial_line.h"
#include "gui_fixture.h"
#include "monitor/alarm_spool.h"
#include "support/lock_probe.h"
#include "support/loopback_block.h"
#include "support/qt_settle.h"
#include "support/scripted_smtp_server.h"

namespace tarnex {
namespace {

using Role = DeviceTreeViewModel;
using testing::Loopback;

// Two stored displays, A and B, and a group holding both.
QString NetworkConfig(const QString& a, const QString& b) {
  return QStringLiteral(
             "[Communication]\n"
             "m_docCommunicationTrue=1\n"
             "m_docCommunicationSelect=1\n"
             "[VALUE]\n"
             "m_docSocketNumber=2\n"
             "[SINGLE]\n"
             "0=%1\n"
             "1=%2\n"
             "[TREENAME]\n"
             "0=[Lobby]%1\n"
             "1=%2\n"
             "[GROUPCOUNT]\n"
             "m_docGroupNumCount=1\n"
             "[GROUPCHILDCOUNT]\n"
             "0=2\n"
             "[GROUPNAME]\n"
             "0=Hall\n"
             "[GROUPCHILDNAME]\n"
             "0=[1][Lobby]%1\n"
             "1=[2]%2\n"
             "[GROUPIPLIST]\n"
             "0=%1\n"
             "1=%2\n"
             "[Alarm]\n"
             "SMTPServer=smtp.test.invalid\n")
      .arg(a, b);
}

class MainWindowTest : public testing::ConfigFolderFixture {
 protected:
  // Each test has its own pair of addresses, so that tests run in parallel: the display at
  // `lastOctet` answers, the next one refuses connections.
  void Open(int lastOctet) {
    a = Loopback(lastOctet);
    b = Loopback(lastOctet + 1);
    fleet.Add({.address = a});
    fleet.Add({.address = b, .refuse = true});
    WriteFile("QXMNTConfig.ini",
              NetworkConfig(QString::fromStdString(a), QString::fromStdString(b)).toStdString());
    doc.OnNewDocument();
    CMainFrame::Options options;
    options.view.supervisionPeriod = std::chrono::milliseconds(150);
    options.view.presenter = recorder.Presenter();
    options.view.treeMenuDriver = [this](QMenu& menu, const QPoint& at) -> QAction* {
      std::string entries;
      for (const QAction* action : menu.actions()) entries += action->isEnabled() ? '1' : '0';
      treeMenus.push_back({at, entries});
      return nullptr;
    };
    frame = std::make_unique<CMainFrame>(doc, login, options);
  }
  void TearDown() override {
    frame.reset();
    ConfigFolderFixture::TearDown();
  }

  COsprelNetworkManagerView& View() { return frame->View(); }
  DeviceTreeViewModel& Mirror() { return View().TreeModel(); }
  // The mirror of the "Single" child with this address, or of the n-th member of group 0.
  QModelIndex SingleIndex(const std::string& address) {
    TreeItem item;
    {
      auto state = View().Core().Lock();
      item = state->Tree().FindSingleByKey(address);
    }
    return Mirror().IndexOf(item);
  }
  QModelIndex MemberIndex(int row) {
    TreeItem item;
    {
      auto state = View().Core().Lock();
      const DeviceTree& tree = state->Tree();
      item = tree.Model().Child(tree.GroupItem(0), row);
    }
    return Mirror().IndexOf(item);
  }
  static int Icon(const QModelIndex& index) { return index.data(Role::kNormalIconRole).toInt(); }
  void Select(const QModelIndex& index) {
    View().TreeView()->setCurrentIndex(index);
    Settle();
  }
  void Settle() { testing::SettleJobs(View().Core().Jobs()); }

  std::string a;
  std::string b;
  sim::DisplayFleet fleet;
  testing::MessageRecorder recorder;
  // Where the tree's menu was shown, and its entries then, "1" enabled.
  struct ShownMenu {
    QPoint at;
    std::string entries;
  };
  std::vector<ShownMenu> treeMenus;
  LoginCredentials login{kDefaultLoginId, kDefaultLoginPassword};
  COsprelNetworkManagerDoc doc;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainWindowTest, InitialUpdateShowsTheBuiltTreeThenStartsTheTimer) {
  Open(121);
  EXPECT_FALSE(View().SupervisionTimer().isActive());
  View().OnInitialUpdate();
  Settle();

  EXPECT_EQ(View().ModeEdit()->text(), "Network Communication");
  EXPECT_TRUE(View().ModeEdit()->isReadOnly());
  EXPECT_EQ(SingleIndex(a).data().toString(), QString::fromStdString("[Lobby]" + a));
  EXPECT_EQ(Icon(SingleIndex(a)), 1);
  EXPECT_EQ(Icon(SingleIndex(b)), 3);
  EXPECT_EQ(MemberIndex(0).data().toString(), QString::fromStdString("[1][Lobby]" + a));
  EXPECT_EQ(Icon(MemberIndex(0)), 1);
  EXPECT_EQ(Icon(MemberIndex(1)), 3);  // the members show their display's state
  EXPECT_TRUE(View().TreeView()->isExpanded(SingleIndex(a).parent()));
  EXPECT_EQ(doc.m_docAlarmServer, "smtp.test.invalid");
  EXPECT_TRUE(View().SupervisionTimer().isActive());
  EXPECT_EQ(View().SupervisionTimer().interval(), 150);
  EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(MainWindowTest, SelectingADisplayThatRefusesTellsConnectionFailOnce) {
  Open(123);
  View().OnInitialUpdate();
  Settle();
  Select(SingleIndex(b));
  testing::RunUntil([] { return false; }, 300);  // the syncs that follow must not select again

  EXPECT_EQ(recorder.messages, QStringList({"Connection Fail"}));
  EXPECT_EQ(Icon(SingleIndex(b)), 3);
  EXPECT_EQ(Role::HandleOf(View().TreeView()->currentIndex()), Role::HandleOf(SingleIndex(b)));

  // Connect retries the selected display on request.
  frame->ConnectAction()->trigger();
  Settle();
  EXPECT_EQ(recorder.messages.size(), 2);
  fleet.Find(b)->SetRefuse(false);
  frame->ConnectAction()->trigger();
  Settle();
  EXPECT_EQ(recorder.messages.size(), 2);
  EXPECT_TRUE(testing::RunUntil([&] { return Icon(SingleIndex(b)) == 1; }, 1000));
}

TEST_F(MainWindowTest, ADisplaySwitchedBackOnTurnsCyanWithinTwoTicks) {
  Open(125);
  View().OnInitialUpdate();
  Settle();
  fleet.Find(b)->SetRefuse(false);

  EXPECT_TRUE(testing::RunUntil(
      [&] { return Icon(SingleIndex(b)) == 1 && Icon(MemberIndex(1)) == 1; }, 2 * 150 + 2000));
  EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(MainWindowTest, ClosingTheWindowStopsSupervisionAndWritesTheConfiguration) {
  Open(127);
  View().OnInitialUpdate();
  Settle();
  login = {"Operator", "2468"};
  frame->close();

  EXPECT_FALSE(View().SupervisionTimer().isActive());
  EXPECT_FALSE(View().Supervisor().PassRunning());
  EXPECT_NE(ReadFile("QXMNTConfig.ini").find("0=[Lobby]" + a), std::string::npos);
  EXPECT_EQ(ReadLoginFile(folder + "QXMNTLoginConfig.ini"), login);
}

// The operator's size is kept from one run to the next; the window is never smaller than
// its drawn size, nor too narrow for a tab title in the platform's font.
TEST_F(MainWindowTest, TheFrameShowsEveryTabTitleWholeAndOffersTheCommandsWithTheirTexts) {
  WriteFile(kWindowSizeFile, "[Window]\nWidth=300\nHeight=640\n");
  Open(129);
  EXPECT_EQ(frame->windowTitle(), "Tarnex Manager");
  EXPECT_GE(frame->minimumWidth(), 814);
  EXPECT_EQ(frame->minimumHeight(), 630);
  EXPECT_EQ(frame->size(), QSize(frame->minimumWidth(), 640));
  EXPECT_EQ(frame->menuWidget(), nullptr);

  const QList<QAction*> tools = frame->ToolsButton()->menu()->actions();
  ASSERT_EQ(tools.size(), 4);
  EXPECT_EQ(tools[0]->text(), "Connection Setting");
  EXPECT_EQ(tools[1]->text(), "Message");
  EXPECT_EQ(tools[2]->text(), "Alram");
  EXPECT_EQ(tools[3]->text(), "Schedule");
  EXPECT_TRUE(tools[1]->isEnabled());
  EXPECT_EQ(tools[1]->statusTip(), "Send Message");
  EXPECT_TRUE(tools[2]->isEnabled());
  EXPECT_EQ(tools[2]->statusTip(), "Send email on alert");

  frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  QWidget* connect = frame->findChild<QToolBar*>()->widgetForAction(frame->ConnectAction());
  QTest::mouseMove(connect);
  EXPECT_TRUE(testing::RunUntil(
      [&] { return frame->statusBar()->currentMessage() == "Connect Projector"; }, 1000));
  QStatusTipEvent leave{QString()};
  QCoreApplication::sendEvent(frame.get(), &leave);
  EXPECT_EQ(frame->statusBar()->currentMessage(), "Ready");

  // A bar as wide as its titles whole need elides none of them.
  const QTabBar* tabs = View().Sheet().Tabs()->tabBar();
  EXPECT_EQ(tabs->count(), 5);
  EXPECT_GE(tabs->width(), tabs->sizeHint().width());
  frame->resize(frame->minimumWidth() + 40, 700);
  frame->close();
  EXPECT_EQ(StoredWindowSize(folder + kWindowSizeFile, QSize()),
            QSize(frame->minimumWidth() + 40, 700));
}

// A report that stops taking lines is named in a corner of the status bar that the command
// texts leave alone, whichever thread wrote.
TEST_F(MainWindowTest, AHistoryReportThatCannotBeWrittenIsNamedInTheStatusBar) {
  Open(143);
  const std::string report = folder + "gone/Network_HistoryReport.txt";
  std::thread([&] { CHistoryReport::Write({{report, "line\r\n"}}); }).join();
  const QString text = QString::fromStdString(HistoryFailureText(report));
  EXPECT_TRUE(testing::RunUntil(
      [&] {
        for (const QLabel* label : frame->statusBar()->findChildren<QLabel*>()) {
          if (label->text() == text && !label->isHidden()) return true;
        }
        return false;
      },
      1000));
}

// Closing while a refresh waits for a slow display: the wait is cut short, the window goes at
// once and the configuration is written.
TEST_F(MainWindowTest, ClosingDuringARefreshCancelsItsWait) {
  Open(133);
  fleet.Find(a)->SetDelayMs(2500);
  View().OnInitialUpdate();
  Settle();
  frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  View().Sheet().ShowPage(PageKind::kControl);
  View().TreeView()->setCurrentIndex(SingleIndex(a));  // the Control page starts reading
  ASSERT_TRUE(testing::RunUntil([&] { return !fleet.CommandsTo(a).empty(); }, 2000));

  const auto started = std::chrono::steady_clock::now();
  frame->close();
  EXPECT_FALSE(frame->isVisible());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  EXPECT_FALSE(View().Core().Jobs().Busy());
  EXPECT_EQ(fleet.CommandsTo(a), std::vector<std::string>{"xb 01 ff\n"});
  EXPECT_NE(ReadFile("QXMNTConfig.ini").find("0=[Lobby]" + a), std::string::npos);
}

// A box a worker queued just before the close is dropped: shown after it, the box would hold
// the end of the process for an operator who has already asked it to end.
TEST_F(MainWindowTest, ABoxQueuedByAWorkerBeforeTheCloseIsNeverShown) {
  Open(141);
  View().OnInitialUpdate();
  Settle();
  std::thread([this] { View().Core().Ui().ShowMessage("Projector is Disconnected"); }).join();

  frame->close();
  QCoreApplication::processEvents();
  EXPECT_TRUE(recorder.messages.isEmpty());
}

// At shutdown the session ends soon after the close: a pass over a hundred displays that do
// not answer (two seconds of connect time-outs) must not hold it, and the configuration is on
// disk when the window is gone.
TEST_F(MainWindowTest, AClosingWindowDoesNotWaitForAPassOverSilentDisplays) {
  std::string config =
      "[Communication]\nm_docCommunicationSelect=1\n[VALUE]\n"
      "m_docSocketNumber=100\n[SINGLE]\n";
  for (int i = 0; i < 100; ++i) {
    const std::string address = Loopback(i + 1);
    fleet.Add({.address = address, .unreachable = true});
    config += std::to_string(i) + "=" + address + "\n";
  }
  WriteFile("QXMNTConfig.ini", config);
  doc.OnNewDocument();
  CMainFrame::Options options;
  options.view.supervisionPeriod = std::chrono::milliseconds(100);
  options.view.presenter = recorder.Presenter();
  frame = std::make_unique<CMainFrame>(doc, login, options);
  View().OnInitialUpdate();
  Settle();  // the start-up connects time out together
  ASSERT_TRUE(testing::RunUntil([&] { return View().Supervisor().PassRunning(); }, 2000));
  testing::RunUntil([] { return false; }, 300);

  const auto started = std::chrono::steady_clock::now();
  frame->close();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_FALSE(View().Supervisor().PassRunning());
  EXPECT_NE(ReadFile("QXMNTConfig.ini").find("99=" + Loopback(100)), std::string::npos);
}

// A display dragged onto a group joins it and becomes the selection; only displays drag, and
// only groups take them.
TEST_F(MainWindowTest, ADisplayDroppedOnAGroupJoinsItAndIsSelected) {
  Open(135);
  View().OnInitialUpdate();
  Settle();
  ASSERT_EQ(View().GroupEditor().MakeGroup("Foyer"), "");
  Settle();
  TreeItem foyerItem;
  {
    auto state = View().Core().Lock();
    foyerItem = state->Tree().GroupItem(1);
  }
  const QModelIndex foyer = Mirror().IndexOf(foyerItem);
  EXPECT_TRUE(Mirror().flags(SingleIndex(a)) & Qt::ItemIsDragEnabled);
  EXPECT_FALSE(Mirror().flags(MemberIndex(0)) & Qt::ItemIsDragEnabled);
  EXPECT_FALSE(Mirror().flags(SingleIndex(b)) & Qt::ItemIsDropEnabled);

  std::unique_ptr<QMimeData> data(Mirror().mimeData({SingleIndex(a)}));
  EXPECT_FALSE(Mirror().canDropMimeData(data.get(), Qt::CopyAction, -1, 0, SingleIndex(b)));
  ASSERT_TRUE(Mirror().dropMimeData(data.get(), Qt::CopyAction, -1, 0, foyer));
  Settle();

  const QModelIndex member = Mirror().index(0, 0, foyer);
  EXPECT_EQ(member.data().toString(), QString::fromStdString("[1][Lobby]" + a));
  EXPECT_EQ(View().TreeView()->currentIndex(), member);
  EXPECT_EQ(doc.m_docGroups[1].m_addresses, std::vector<std::string>{a});
}

// Edits live in memory until the close writes them; the next start shows the same tree.
TEST_F(MainWindowTest, GroupEditsSurviveARestart) {
  Open(137);
  View().OnInitialUpdate();
  Settle();
  CGroupEditor& editor = View().GroupEditor();
  ASSERT_EQ(editor.MakeGroup("Foyer"), "");
  Select(SingleIndex(a));
  ASSERT_EQ(editor.AddToGroup(1), "");
  ASSERT_EQ(editor.ChangeName("Desk"), "");
  Select(MemberIndex(1));  // b leaves "Hall"
  editor.DeleteProjector();
  Settle();
  std::vector<TreeGroupLabels> before;
  std::vector<std::string> singles;
  {
    auto state = View().Core().Lock();
    before = state->Tree().GroupLabels();
    singles = state->Tree().SingleLabels();
  }
  frame->close();
  frame.reset();

  COsprelNetworkManagerDoc again;
  again.OnNewDocument();
  CMainFrame::Options options;
  options.view.presenter = recorder.Presenter();
  CMainFrame restarted(again, login, options);
  restarted.View().OnInitialUpdate();
  testing::SettleJobs(restarted.View().Core().Jobs());
  auto state = restarted.View().Core().Lock();
  EXPECT_EQ(state->Tree().SingleLabels(), singles);
  const std::vector<TreeGroupLabels> after = state->Tree().GroupLabels();
  ASSERT_EQ(after.size(), before.size());
  for (size_t g = 0; g < after.size(); ++g) {
    EXPECT_EQ(after[g].name, before[g].name);
    EXPECT_EQ(after[g].memberLabels, before[g].memberLabels);
  }
  EXPECT_EQ(before[1].memberLabels, std::vector<std::string>{"[1][Desk]" + a});
  EXPECT_EQ(before[0].memberLabels, std::vector<std::string>{"[1][Desk]" + a});
}

// The operator starts in the tree and reaches the controls of the page on top with Tab alone.
TEST_F(MainWindowTest, TabLeadsFromTheTreeIntoThePageOnTop) {
  Open(131);
  View().OnInitialUpdate();
  Settle();
  View().Sheet().ShowPage(PageKind::kControl);
  frame->show();
  QApplication::setActiveWindow(frame.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  EXPECT_EQ(QApplication::focusWidget(), View().TreeView());

  QStringList reached;
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* focus = QApplication::focusWidget();
    auto* button = qobject_cast<QAbstractButton*>(focus);
    reached << (button != nullptr ? button->text()
                                  : QString::fromLatin1(focus->metaObject()->className()));
  }
  EXPECT_EQ(reached, QStringList({"QTabBar", "Power On", "Power Off"}));
}

// The context-menu key and Shift+F10 open the tree's menu on the selected item, with that
// item's entries, as the right button does; F10 alone does not.
TEST_F(MainWindowTest, TheMenuKeyAndShiftF10OpenTheTreeMenuOnTheSelectedItem) {
  Open(139);
  View().OnInitialUpdate();
  Settle();
  frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  QTreeView* tree = View().TreeView();
  Select(SingleIndex(a));
  const QRect item = tree->visualRect(SingleIndex(a));
  const QRect shown(tree->viewport()->mapToGlobal(item.topLeft()), item.size());

  QTest::keyClick(tree, Qt::Key_Menu);
  QTest::keyClick(tree, Qt::Key_F10, Qt::ShiftModifier);
  QTest::keyClick(tree, Qt::Key_F10);
  ASSERT_EQ(treeMenus.size(), 2u);
  for (const ShownMenu& menu : treeMenus) {
    EXPECT_TRUE(shown.contains(menu.at)) << menu.at.x() << "," << menu.at.y();
    EXPECT_EQ(menu.entries, "011011110");  // a display, and a group it could join
  }
}

// The console on serial line COM1, with simulated displays behind it: only set ID 01 answers.
class SerialWindowTest : public testing::ConfigFolderFixture {
 protected:
  void SetUp() override {
    ConfigFolderFixture::SetUp();
    WriteFile("QXMNTSerialConfig.ini",
              "[Communication]\nm_docCommunicationTrue=1\nm_docCommunicationSelect=2\n"
              "[SerialSetting]\nm_docPortStr=COM1\nm_docBaudrate=9600\nm_docData=8\n");
  }
  void TearDown() override {
    probe.reset();
    frame.reset();
    ::unsetenv("TARNEX_COM1");
    ConfigFolderFixture::TearDown();
  }

  // Starts the console with COM1 on `device`. Each message box looks whether the console lock
  // is free while it is up.
  void Start(const std::string& device) {
    ::setenv("TARNEX_COM1", device.c_str(), 1);
    doc.OnNewDocument();
    CMainFrame::Options options;
    options.view.presenter = [this](QWidget*, const QString& text) {
      messages.append(text);
      probe = std::make_unique<testing::LockProbe>(frame->View().Core());
      lockFree.push_back(probe->TakenWithin(std::chrono::milliseconds(500)));
    };
    frame = std::make_unique<CMainFrame>(doc, login, options);
    frame->View().OnInitialUpdate();
    testing::SettleJobs(frame->View().Core().Jobs());
  }

  sim::CommandLog log;
  sim::SerialLine line{{.setIds = {"01"}}, log};
  LoginCredentials login{kDefaultLoginId, kDefaultLoginPassword};
  COsprelNetworkManagerDoc doc;
  std::unique_ptr<CMainFrame> frame;
  QStringList messages;
  std::vector<bool> lockFree;
  std::unique_ptr<testing::LockProbe> probe;
};

// A send to a group of six set IDs that never answer: one after another, each would wait out
// its three-second time-out. Closing ends the send at once, and the members after the one
// being waited for hear nothing more.
TEST_F(SerialWindowTest, ClosingDuringAGroupSendToSilentSetIdsEndsItAtOnce) {
  Start(line.Path());
  CConsoleCore& core = frame->View().Core();
  CommandTarget group;
  group.route = CommandTarget::Route::kSerial;
  group.setIds = {"02", "03", "04", "05", "06", "07"};
  group.serialGroup = true;
  core.Jobs().Post(group.Keys(),
                   [&core, group] { core.Transaction().SendCommand("ka 01 00\n", group); });
  ASSERT_TRUE(testing::RunUntil([&] { return !log.CommandsTo("serial:02").empty(); }, 2000));

  const auto started = std::chrono::steady_clock::now();
  frame->close();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  EXPECT_FALSE(core.Jobs().Busy());
  EXPECT_TRUE(log.CommandsTo("serial:07").empty());
}

// A port that cannot be opened is told in a box, and the console lock is free while the box
// waits for the operator.
TEST_F(SerialWindowTest, APortThatCannotOpenIsToldWithoutHoldingTheConsoleLock) {
  Start("/nonexistent/tty");
  EXPECT_EQ(messages, QStringList{"fail Port open"});
  EXPECT_EQ(lockFree, std::vector<bool>{true});
}

// A failing alarm mail shows in the status bar, and the one still waiting for its retry when
// the window closes is kept in the configuration folder for the next start.
TEST_F(MainWindowTest, AFailingAlarmMailIsShownAndOutlivesTheClose) {
  Open(131);
  View().OnInitialUpdate();
  Settle();
  testing::ScriptedSmtpServer refusing("220 ready\r\n",
                                       {"250 hello\r\n", "550 relaying denied\r\n"});
  {
    auto state = View().Core().Lock();
    state->Doc().m_docAlarmTo = "ops@example.org";
    state->Doc().m_docAlarmFrom = "console@example.org";
    state->Doc().m_docAlarmServer = refusing.Server();
  }
  QLabel* failed = nullptr;
  for (QLabel* label : frame->statusBar()->findChildren<QLabel*>()) {
    if (label->text() == "Alarm mail failed") failed = label;
  }
  ASSERT_NE(failed, nullptr);
  EXPECT_TRUE(failed->isHidden());
  View().Alarms().Enqueue(AlarmKind::kFanFault, a);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !failed->isHidden(); }, 10000));

  const std::string spool = doc.m_docConfigFolder + kAlarmSpoolFile;
  frame->CloseDocument();
  const std::vector<QueuedAlarm> kept = TakeAlarmSpool(spool);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].kind, AlarmKind::kFanFault);
  EXPECT_EQ(kept[0].address, a);
  EXPECT_EQ(kept[0].attempts, 1);
}

}  // namespace
}  // namespace tarnex
