#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/device_tree_view_model.h"
#include "app/login_dialog.h"
#include "app/network_manager_app.h"
#include "gui_fixture.h"
#include "platform/single_instance.h"
#include "support/loopback_block.h"
#include "support/qt_settle.h"

namespace tarnex {
namespace {

using testing::Loopback;

class AppStartTest : public testing::ConfigFolderFixture {
 protected:
  void SetUp() override {
    ConfigFolderFixture::SetUp();
    lockFolder = folder + "locks";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(lockFolder)));
    options.presenter = recorder.Presenter();
    options.lockFolder = lockFolder;
    options.executablePath = "/opt/tarnex-test/tarnex-manager-" + std::to_string(::getpid());
    options.localeName = "en_US";
  }

  // Types into the login dialog once it is open, as an operator would: each pair in turn,
  // then Cancel when `cancelAtEnd` and no pair was accepted. The fixture owns the timer, so a
  // login that never opened leaves nothing to answer the next test's dialog.
  void AnswerLogin(QList<QPair<QString, QString>> attempts, bool cancelAtEnd = false) {
    answerer = std::make_unique<QTimer>();
    QTimer* timer = answerer.get();
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer, attempts, cancelAtEnd] {
      auto* dialog = dynamic_cast<CLoginDlg*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      ++loginsSeen;
      for (const auto& [id, password] : attempts) {
        dialog->IdEdit()->setText(id);
        dialog->PasswordEdit()->setText(password);
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
      }
      if (cancelAtEnd && dialog->isVisible())
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
      timer->stop();
    });
    timer->start(10);
  }

  QStringList ConfigFiles() const {
    return QDir(QString::fromStdString(folder)).entryList(QDir::Files);
  }

  std::string lockFolder;
  testing::MessageRecorder recorder;
  COsprelNetworkManagerApp::Options options;
  int loginsSeen = 0;
  std::unique_ptr<QTimer> answerer;
};

TEST_F(AppStartTest, CancelledLoginEndsTheStartWithNothingWritten) {
  COsprelNetworkManagerApp app(options);
  AnswerLogin({{"Administrator", "nope"}}, true);

  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(loginsSeen, 1);
  EXPECT_EQ(recorder.messages, QStringList({"Error Password"}));
  EXPECT_EQ(app.MainFrame(), nullptr);
  EXPECT_EQ(app.Document(), nullptr);
  EXPECT_TRUE(ConfigFiles().isEmpty());
}

TEST_F(AppStartTest, TheStoredLoginIsAskedThenTheWindowShowsTheConfiguration) {
  ASSERT_TRUE(WriteLoginFile(folder + "QXMNTLoginConfig.ini", {"Operator", "Secret1"}));
  WriteFile("QXMNTConfig.ini", "[VALUE]\nm_docSocketNumber=1\n[SINGLE]\n0=" + Loopback(131) + "\n");
  COsprelNetworkManagerApp app(options);
  AnswerLogin({{"Administrator", "5378"}, {"Operator", "Secret1"}});

  ASSERT_TRUE(app.InitInstance());
  EXPECT_EQ(recorder.messages, QStringList({"Error ID and Password"}));
  ASSERT_NE(app.MainFrame(), nullptr);
  testing::SettleJobs(app.MainFrame()->View().Core().Jobs());
  EXPECT_TRUE(app.MainFrame()->isVisible());
  EXPECT_EQ(app.LanguageFlag(), 0);
  EXPECT_GT(app.Dpi(), 0);
  const QTreeView* tree = app.MainFrame()->View().TreeView();
  EXPECT_EQ(tree->model()->index(0, 0).data().toString(), "Single");
  EXPECT_EQ(tree->model()->index(0, 0, tree->model()->index(0, 0)).data().toString(),
            QString::fromStdString(Loopback(131)));
  EXPECT_TRUE(app.MainFrame()->View().SupervisionTimer().isActive());

  // A second copy started meanwhile is refused before it asks for a login.
  testing::MessageRecorder second;
  COsprelNetworkManagerApp::Options secondOptions = options;
  secondOptions.presenter = second.Presenter();
  COsprelNetworkManagerApp copy(secondOptions);
  EXPECT_FALSE(copy.InitInstance());
  EXPECT_EQ(second.messages, QStringList({"TarnexManager is Already running"}));
  EXPECT_EQ(loginsSeen, 1);
}

// Names and a password as an older installation stored them, in the Windows code page.
TEST_F(AppStartTest, CodePageNamesShowAndACodePagePasswordCanBeTyped) {
  ASSERT_TRUE(WriteLoginFile(folder + "QXMNTLoginConfig.ini", {"Op\xE9rateur", "P\xE4ss\x80"}));
  const std::string address = Loopback(133);
  WriteFile("QXMNTConfig.ini", "[VALUE]\nm_docSocketNumber=1\n[SINGLE]\n0=" + address +
                                   "\n[TREENAME]\n0=[Caf\xE9]" + address +
                                   "\n[GROUPCOUNT]\nm_docGroupNumCount=1\n"
                                   "[GROUPCHILDCOUNT]\n0=0\n[GROUPNAME]\n0=Salle \xE9t\xE9\n");
  COsprelNetworkManagerApp app(options);
  AnswerLogin({{"Opérateur", "Pass€"}, {"Opérateur", "Päss€"}}, true);

  ASSERT_TRUE(app.InitInstance());
  testing::SettleJobs(app.MainFrame()->View().Core().Jobs());
  EXPECT_EQ(recorder.messages, QStringList({"Error Password"}));
  const QAbstractItemModel* model = app.MainFrame()->View().TreeView()->model();
  EXPECT_EQ(model->index(0, 0, model->index(0, 0)).data().toString(),
            QString::fromStdString("[Café]" + address));
  EXPECT_EQ(model->index(0, 0, model->index(1, 0)).data().toString(), "Salle été");
}

TEST_F(AppStartTest, ACopyStartedWhileTheRefusalIsShownEndsSilently) {
  SingleInstance running(options.executablePath, lockFolder);
  ASSERT_EQ(running.Acquire(), SingleInstance::Outcome::kFirst);

  testing::MessageRecorder third;
  COsprelNetworkManagerApp::Options thirdOptions = options;
  thirdOptions.presenter = third.Presenter();
  COsprelNetworkManagerApp thirdCopy(thirdOptions);
  options.presenter = [&](QWidget*, const QString& text) {
    recorder.messages << text;
    // While this box is open, a third copy starts.
    EXPECT_FALSE(thirdCopy.InitInstance());
  };
  COsprelNetworkManagerApp secondCopy(options);

  EXPECT_FALSE(secondCopy.InitInstance());
  EXPECT_EQ(recorder.messages, QStringList({"TarnexManager is Already running"}));
  EXPECT_TRUE(third.messages.isEmpty());
}

// A login file that is there but cannot be read is no first run: no defaults, no login. A
// link to a login file that has gone, or a file emptied of its login, is no first run either.
TEST_F(AppStartTest, AnUnreadableLoginFileRefusesTheStartAndNamesIt) {
  const std::string login = folder + "QXMNTLoginConfig.ini";
  const std::vector<std::function<bool()>> kinds = {
      [&] { return QDir().mkpath(QString::fromStdString(login)); },
      [&] { return ::symlink((folder + "gone.ini").c_str(), login.c_str()) == 0; },
      [&] { return static_cast<bool>(std::ofstream(login, std::ios::binary) << "[LOGIN]\r\n"); }};
  AnswerLogin({{"Administrator", "5378"}});
  for (const auto& make : kinds) {
    ASSERT_TRUE(make());
    recorder.messages.clear();
    COsprelNetworkManagerApp app(options);

    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(recorder.messages,
              QStringList({QString::fromStdString("The login file cannot be read: " + login)}));
    EXPECT_EQ(loginsSeen, 0);
    EXPECT_EQ(app.Document(), nullptr);
    EXPECT_NE(app.ExitStatus(), 0);
    if (::rmdir(login.c_str()) != 0) {
      ASSERT_EQ(::unlink(login.c_str()), 0);
    }
  }
  EXPECT_EQ(ConfigFiles(), QStringList());
}

// The operator hears of a configuration file the console cannot read, and of a final save
// that failed, which also ends the process with a failure status.
TEST_F(AppStartTest, AnUnreadableConfigurationAndAFailedSaveAreTold) {
  const std::string network = folder + "QXMNTConfig.ini";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(network)));
  COsprelNetworkManagerApp app(options);
  AnswerLogin({{"Administrator", "5378"}});

  ASSERT_TRUE(app.InitInstance());
  EXPECT_EQ(recorder.messages,
            QStringList({QString::fromStdString(
                "The configuration file cannot be read and will not be saved: " + network)}));
  EXPECT_EQ(app.ExitStatus(), 0);
  recorder.messages.clear();
  app.MainFrame()->close();
  EXPECT_EQ(
      recorder.messages,
      QStringList({QString::fromStdString("The configuration could not be saved to " + network)}));
  EXPECT_NE(app.ExitStatus(), 0);
  EXPECT_TRUE(QFileInfo(QString::fromStdString(network)).isDir());
}

}  // namespace
}  // namespace tarnex
