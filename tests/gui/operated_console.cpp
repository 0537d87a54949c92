// The console in a process of its own, for tests that end it from outside: the application's
// start and run as the console's main has them, with the login typed into its dialog as an
// operator would, and then one scene set up on the window:
//   idle     nothing more;
//   select   the first stored display is selected, so its Control page reads it;
//   setting  the Connection Setting dialog is opened;
//   held     a worker takes a job that does not see the console's stop, for ten seconds;
//   mail     the Alarm dialog is opened and its TEST pressed;
//   manager  the login is changed to "Operator" / "n3w" in the Security Manager;
//   schedule the Schedule dialog is opened, and each run its log gains is printed as
//            "run: ENTRY: RESULT". The schedules' clock is the number of seconds in the file
//            "clock" of the configuration folder while there is one, and they are looked at
//            every 100 ms;
//   system   the same on the system's clock, looked at as the console does it.
// It prints "window" once the start-up connects are done, "dialog" once the scene's dialog is
// open (TEST pressed, for "mail"; OK pressed, for "manager"), "held" once the held job runs, and
// "box: TEXT" for each message box before the box waits, with the line feeds of TEXT as "\n". A
// line on standard input acts from outside: "close" as the window's close button, "logout" as the
// session manager ending the session. The exit status is the console's.
#include <unistd.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <thread>

#include "app/alarm_dlg.h"
#include "app/login_dialog.h"
#include "app/network_manager_app.h"
#include "app/schedule_dlg.h"
#include "app/setting_dlg.h"
#include "app/user_manager.h"
#include "config/login_file.h"
#include "platform/config_folder.h"
#include "support/typed_login.h"

namespace tarnex {
namespace {

using testing::RepeatOnUi;
using testing::TypeDefaultLogin;

// Any thread.
void Say(QString line) {
  line.replace('\n', QStringLiteral("\\n"));
  std::fputs((line + '\n').toLocal8Bit().constData(), stdout);
  std::fflush(stdout);
}

void SelectFirstDisplay(CMainFrame& frame) {
  RepeatOnUi([&frame] {
    QTreeView* tree = frame.View().TreeView();
    const QModelIndex display = tree->model()->index(0, 0, tree->model()->index(0, 0));
    if (!display.isValid()) return false;
    frame.View().Sheet().ShowPage(PageKind::kControl);
    tree->setCurrentIndex(display);
    return true;
  });
}

void OpenSettingDialog(CMainFrame& frame) {
  QMetaObject::invokeMethod(frame.SettingAction(), &QAction::trigger, Qt::QueuedConnection);
  RepeatOnUi([] {
    if (dynamic_cast<CSettingDlg*>(QApplication::activeModalWidget()) == nullptr) return false;
    Say(QStringLiteral("dialog"));
    return true;
  });
}

void PressTestMail(CMainFrame& frame) {
  QMetaObject::invokeMethod(frame.AlarmAction(), &QAction::trigger, Qt::QueuedConnection);
  RepeatOnUi([] {
    auto* dialog = dynamic_cast<CAlarmDlg*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return false;
    dialog->TestButton()->click();
    Say(QStringLiteral("dialog"));
    return true;
  });
}

void ChangeTheLogin(CMainFrame& frame) {
  QMetaObject::invokeMethod(frame.ManagerAction(), &QAction::trigger, Qt::QueuedConnection);
  RepeatOnUi([] {
    auto* dialog = dynamic_cast<CUserManager*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return false;
    dialog->CurrentIdEdit()->setText(QString::fromLatin1(kDefaultLoginId));
    dialog->CurrentPasswordEdit()->setText(QString::fromLatin1(kDefaultLoginPassword));
    dialog->SetButton()->click();
    dialog->NewIdEdit()->setText(QStringLiteral("Operator"));
    dialog->NewPasswordEdit()->setText(QStringLiteral("n3w"));
    dialog->ConfirmEdit()->setText(QStringLiteral("n3w"));
    dialog->OkButton()->click();
    Say(QStringLiteral("dialog"));
    return true;
  });
}

void FollowTheScheduleLog(CMainFrame& frame) {
  QMetaObject::invokeMethod(frame.ScheduleAction(), &QAction::trigger, Qt::QueuedConnection);
  auto said = std::make_shared<bool>(false);
  auto shown = std::make_shared<int>(0);
  RepeatOnUi([said, shown] {
    auto* dialog = dynamic_cast<CScheduleDlg*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return false;
    if (!*said) Say(QStringLiteral("dialog"));
    *said = true;
    // Newest first: the runs not shown yet are the top rows, oldest of them lowest.
    const QTreeWidget* log = dialog->RunLog();
    for (int row = log->topLevelItemCount() - *shown - 1; row >= 0; --row, ++*shown) {
      const QTreeWidgetItem* run = log->topLevelItem(row);
      Say(QStringLiteral("run: ") + run->text(1) + QStringLiteral(": ") + run->text(2));
    }
    return false;
  });
}

// The clock a test sets by writing the file; the system's once the file is gone.
std::function<std::time_t()> FileClock() {
  return [] {
    std::ifstream in(ConfigFolder() + "clock");
    long long seconds = 0;
    if (in >> seconds) return static_cast<std::time_t>(seconds);
    return std::time(nullptr);
  };
}

void HoldAWorker(CMainFrame& frame) {
  frame.View().Core().Jobs().Post(JobKeys::SerialLine(), [] {
    Say(QStringLiteral("held"));
    std::this_thread::sleep_for(std::chrono::seconds(10));
  });
}

// The commands on standard input, one a line.
void FollowStandardInput(CMainFrame& frame) {
  auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [&frame, notifier] {
    char line[64] = {};
    const ssize_t got = ::read(STDIN_FILENO, line, sizeof line - 1);
    if (got <= 0) {
      notifier->setEnabled(false);
      return;
    }
    const QByteArray command = QByteArray(line, static_cast<int>(got)).trimmed();
    if (command == "close") frame.close();
    // The session manager's end of the session reaches the application as a quit event.
    if (command == "logout") QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit));
  });
}

}  // namespace
}  // namespace tarnex

int main(int argc, char* argv[]) {
  using namespace tarnex;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QString scene = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("idle");
  COsprelNetworkManagerApp::Options options;
  options.presenter = [modal = ModalMessagePresenter()](QWidget* parent, const QString& text) {
    Say(QStringLiteral("box: ") + text);
    modal(parent, text);
  };
  options.localeName = "en_US";
  if (scene == "schedule") {
    options.view.scheduleClock = FileClock();
    options.view.schedulePeriod = std::chrono::milliseconds(100);
  }
  COsprelNetworkManagerApp console(std::move(options));
  TypeDefaultLogin();
  if (!console.InitInstance()) return console.ExitStatus();
  CMainFrame& frame = *console.MainFrame();
  // Once the console runs, and so takes the signals: a test may send one on "window".
  QTimer::singleShot(0, &frame, [&frame, scene] {
    frame.View().Core().Jobs().WaitIdle(std::chrono::seconds(10));
    QCoreApplication::processEvents();
    Say(QStringLiteral("window"));
    FollowStandardInput(frame);
    if (scene == "select") SelectFirstDisplay(frame);
    if (scene == "setting") OpenSettingDialog(frame);
    if (scene == "held") HoldAWorker(frame);
    if (scene == "mail") PressTestMail(frame);
    if (scene == "manager") ChangeTheLogin(frame);
    if (scene == "schedule" || scene == "system") FollowTheScheduleLog(frame);
  });
  return console.Run();
}
