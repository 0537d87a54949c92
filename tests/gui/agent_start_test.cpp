#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <memory>
#include <string>

#include "app/agent_settings.h"
#include "app/login_dialog.h"
#include "app/network_manager_app.h"
#include "config/login_file.h"
#include "gui_fixture.h"
#include "platform/owner_link.h"
#include "support/loopback_block.h"

namespace tarnex {
namespace {

// The console started with Agent.ini asking for the agent, which is not there: the window
// shows it unreachable and does nothing of its own with the displays or their files.
class AgentStartTest : public testing::ConfigFolderFixture {
 protected:
  void SetUp() override {
    ConfigFolderFixture::SetUp();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder + "locks")));
    options.presenter = recorder.Presenter();
    options.lockFolder = folder + "locks";
    options.executablePath = "/opt/tarnex-test/tarnex-agent-window-" + std::to_string(::getpid());
    options.localeName = "en_US";
    ASSERT_TRUE(WriteLoginFile(folder + "QXMNTLoginConfig.ini", {"Operator", "Secret1"}));
    // Nobody listens on port 1 of this address: the broker is simply not there.
    ASSERT_TRUE(WriteAgentSettings(folder + kAgentFile, {.enabled = true,
                                                         .broker = testing::Loopback(201) + ":1",
                                                         .site = "site-a",
                                                         .caFile = {},
                                                         .user = {},
                                                         .passwordFile = {}}));
  }
  void AnswerLogin() {
    answerer = std::make_unique<QTimer>();
    QObject::connect(answerer.get(), &QTimer::timeout, answerer.get(), [this] {
      auto* dialog = dynamic_cast<CLoginDlg*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      dialog->IdEdit()->setText("Operator");
      dialog->PasswordEdit()->setText("Secret1");
      QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
      answerer->stop();
    });
    answerer->start(10);
  }

  testing::MessageRecorder recorder;
  COsprelNetworkManagerApp::Options options;
  std::unique_ptr<QTimer> answerer;
};

TEST_F(AgentStartTest, NoOwnerLockNoLinkAndTheConsoleFilesKeepTheirBytes) {
  const std::string network =
      "[Communication]\nm_docCommunicationTrue=1\nm_docCommunicationSelect=1\n"
      "[VALUE]\nm_docSocketNumber=1\n[SINGLE]\n0=" +
      testing::Loopback(202) + "\n[TREENAME]\n0=Lobby\n";
  WriteFile("QXMNTConfig.ini", network);
  COsprelNetworkManagerApp app(options);
  AnswerLogin();
  ASSERT_TRUE(app.InitInstance());
  COsprelNetworkManagerView& view = app.MainFrame()->View();
  ASSERT_TRUE(view.AgentRunning());
  EXPECT_EQ(view.ModeEdit()->text(), "Agent unreachable");
  EXPECT_FALSE(view.SupervisionTimer().isActive());
  EXPECT_EQ(view.Schedules(), nullptr);
  std::string error;
  EXPECT_FALSE(view.ServeScripts(folder + "owner.sock", &error));
  EXPECT_EQ(view.TreeView()->model()->rowCount(view.TreeView()->model()->index(0, 0)), 0);

  // The lock is free for the agent: the window did not take it.
  const OwnerPathsResult paths = OwnerPathsFor(folder);
  ASSERT_TRUE(paths.paths) << paths.error;
  OwnerLock lock(paths.paths->lock);
  EXPECT_EQ(lock.TryTake(), OwnerLock::Outcome::kTaken);

  app.MainFrame()->CloseDocument();
  EXPECT_FALSE(app.MainFrame()->SaveFailed());
  EXPECT_EQ(ReadFile("QXMNTConfig.ini"), network);
  EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.messages.join("|").toStdString();
}

// Settings that ask for the agent but cannot reach one are told once; the window still does
// not fall back to its own links.
TEST_F(AgentStartTest, UnusableSettingsAreToldAndTheWindowStaysOverTheAgent) {
  WriteFile(kAgentFile,
            "[Agent]\nMode=agent\nBroker=" + testing::Loopback(201) + ":1\nSite=site/a\n");
  COsprelNetworkManagerApp app(options);
  AnswerLogin();
  ASSERT_TRUE(app.InitInstance());
  ASSERT_TRUE(app.MainFrame()->View().AgentRunning());
  EXPECT_EQ(app.MainFrame()->View().ModeEdit()->text(), "Agent unreachable");
  EXPECT_EQ(recorder.messages,
            QStringList({"The site must be 1 to 32 letters, digits, '_' or '-'."}));
}

}  // namespace
}  // namespace tarnex
