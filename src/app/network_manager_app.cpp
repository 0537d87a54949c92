#include "app/network_manager_app.h"

#include <QApplication>
#include <QEventLoop>
#include <QLocale>
#include <QScreen>
#include <QTimer>

#include "app/login_check.h"
#include "app/login_dialog.h"
#include "app/splash_dialog.h"
#include "app/termination_signals.h"
#include "app/window_layout.h"
#include "config/config_keys.h"
#include "platform/config_folder.h"
#include "platform/owner_link.h"
#include "platform/single_instance.h"
#include "platform/trace.h"

namespace tarnex {
namespace {

// A close ends the process within two seconds. The orderly close (cancelling the waits, saving,
// ending the workers) takes a small part of this budget; what the budget leaves of the two
// seconds is for the process's own exit.
constexpr std::chrono::milliseconds kCloseBudget{1500};

// The session manager ends the session with a quit event to the application. Qt would close
// the windows then, and the window's close would show a box that nobody is left to read: the
// console ends as for a termination signal instead.
class SessionQuit : public QObject {
 public:
  explicit SessionQuit(std::function<void()> onQuit) : m_onQuit(std::move(onQuit)) {
    qApp->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != qApp || event->type() != QEvent::Quit) return false;
    m_onQuit();
    return true;
  }

 private:
  std::function<void()> m_onQuit;
};

}  // namespace

COsprelNetworkManagerApp::COsprelNetworkManagerApp(Options options)
    : m_options(std::move(options)),
      m_presenter(m_options.presenter ? m_options.presenter : ModalMessagePresenter()),
      m_closeDeadline(kCloseBudget) {
  if (!m_options.view.presenter) m_options.view.presenter = m_presenter;
}

COsprelNetworkManagerApp::~COsprelNetworkManagerApp() {
  if (m_splash) delete m_splash.data();
  m_frame.reset();
  m_doc.reset();
}

bool COsprelNetworkManagerApp::InitInstance() {
  if (AnotherCopyRuns()) return false;
  ReadLanguage();
  const std::string loginFile = ConfigFolder() + config_keys::kLoginFile;
  const std::optional<LoginCredentials> stored = ReadLoginFile(loginFile);
  if (!stored) {
    m_presenter(nullptr, QString::fromStdString(LoginFileUnreadableText(loginFile)));
    m_exitStatus = 1;
    return false;
  }
  m_login = *stored;
  if (!RunLogin()) return false;
  // The tree connects every stored display before the window shows.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ShowSplash();
  ReadAgentChoice();
  // Over the agent the displays are the agent's: the window holds no owner lock and serves no
  // scripts (without the lock it has no socket to serve them on).
  if (!m_agent) TakeOwnerLock();
  CreateDocumentFrameView();
  ServeScripts();
  m_frame->show();
  m_frame->update();
  QApplication::restoreOverrideCursor();
  TellUnreadableFiles();
  return true;
}

int COsprelNetworkManagerApp::Run() {
  // A window that went before the loop started has nothing left to run.
  if (m_frame->Ending()) return ExitStatus();
  // Ending the event loop unwinds every modal loop in it, a box's or a dialog's.
  m_frame->SetEndOfRun(&m_closeDeadline, [] { QCoreApplication::exit(0); });
  // The console ends through its close only, never because a window was the last one left.
  QGuiApplication::setQuitOnLastWindowClosed(false);
  const auto endSession = [this] { m_frame->EndConsole(CMainFrame::CloseCause::kSession); };
  const TerminationSignals terminationSignals(endSession);
  const SessionQuit logout(endSession);
  const int status = QApplication::exec();
  return status != 0 ? status : ExitStatus();
}

int COsprelNetworkManagerApp::ExitStatus() const {
  if (m_exitStatus != 0) return m_exitStatus;
  return m_frame && m_frame->SaveFailed() ? 1 : 0;
}

// The console runs on without such a file, as if it were missing, but the operator must know
// that what it holds is not shown and will not be saved.
void COsprelNetworkManagerApp::TellUnreadableFiles() {
  for (const std::string& path : m_doc->UnreadableFiles()) {
    m_presenter(m_frame.get(),
                QStringLiteral("The configuration file cannot be read and will not be saved: %1")
                    .arg(QString::fromStdString(path)));
  }
}

// A refused copy tells the operator once: while one refused copy shows its box, the next
// ones end without a word.
bool COsprelNetworkManagerApp::AnotherCopyRuns() {
  const std::string executable =
      m_options.executablePath.empty() ? CurrentExecutablePath() : m_options.executablePath;
  const std::string folder =
      m_options.lockFolder.empty() ? RuntimeLockFolder() : m_options.lockFolder;
  m_instance = std::make_unique<SingleInstance>(executable, folder);
  switch (m_instance->Acquire()) {
    case SingleInstance::Outcome::kFirst:
      return false;
    case SingleInstance::Outcome::kTellOperator:
      m_presenter(nullptr, QStringLiteral("TarnexManager is Already running"));
      m_instance->ReleaseMessage();
      return true;
    case SingleInstance::Outcome::kEndSilently:
      return true;
    case SingleInstance::Outcome::kError:
      // Without a place for the lock no copy could ever start; running unguarded is the
      // lesser harm.
      Trace("single-instance lock unavailable: %s", m_instance->InstanceLockPath().c_str());
      return false;
  }
  return false;
}

void COsprelNetworkManagerApp::ReadLanguage() {
  const std::string locale =
      m_options.localeName.empty() ? QLocale::system().name().toStdString() : m_options.localeName;
  m_languageFlag = LanguageFlagFor(locale);
  Trace("%s", m_languageFlag == 1 ? "KOREAN" : "ENGLISH");
}

bool COsprelNetworkManagerApp::RunLogin() {
  CLoginDlg login(m_login, m_presenter);
  login.exec();
  m_dpi = login.MeasuredDpi();
  MeasureDpiIfUnknown();
  return login.ResultFlag() == 0;
}

void COsprelNetworkManagerApp::MeasureDpiIfUnknown() {
  if (m_dpi != 0) return;
  const QScreen* screen = QGuiApplication::primaryScreen();
  m_dpi = screen != nullptr ? static_cast<int>(screen->logicalDotsPerInchX()) : 96;
}

void COsprelNetworkManagerApp::ShowSplash() {
  m_splash = new CSplashDlg;
  m_splash->SetOnDismissed([this] {
    if (m_frame) m_frame->update();
  });
  m_splash->Start();
  // Let the splash paint before the tree building holds the UI thread.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// A tarnexctl run that holds the lock connects to the displays itself, and displays may
// refuse or drop a second connection: the console waits behind its splash until the run
// ends, which its own time-out bounds.
void COsprelNetworkManagerApp::TakeOwnerLock() {
  const OwnerPathsResult paths = OwnerPathsFor(ConfigFolder());
  if (!paths.paths) {
    // tarnexctl refuses the same folder, so nobody else connects; the console runs on.
    Trace("owner lock unavailable: %s", paths.error.c_str());
    return;
  }
  m_ownerLock = std::make_unique<OwnerLock>(paths.paths->lock);
  OwnerLock::Outcome outcome = m_ownerLock->TryTake();
  if (outcome == OwnerLock::Outcome::kHeld && m_splash) {
    m_splash->Hold(QStringLiteral("Waiting for tarnexctl to finish with the displays"));
  }
  while (outcome == OwnerLock::Outcome::kHeld) {
    QEventLoop pause;
    QTimer::singleShot(100, &pause, &QEventLoop::quit);
    pause.exec(QEventLoop::ExcludeUserInputEvents);
    outcome = m_ownerLock->TryTake();
  }
  if (m_splash) m_splash->Release();
  if (outcome != OwnerLock::Outcome::kTaken) {
    Trace("owner lock not taken: %s", paths.paths->lock.c_str());
    m_ownerLock.reset();
    return;
  }
  m_ownerSocket = paths.paths->socket;
}

// Tests hand the choice in; otherwise it is the configuration folder's Agent.ini.
void COsprelNetworkManagerApp::ReadAgentChoice() {
  if (m_options.view.agent) {
    m_agent = m_options.view.agent;
    return;
  }
  AgentSettingsRead read = ReadAgentSettings(ConfigFolder() + kAgentFile);
  if (read.settings.enabled) m_agent = std::move(read);
}

void COsprelNetworkManagerApp::ServeScripts() {
  if (m_ownerSocket.empty()) return;
  std::string error;
  if (!m_frame->View().ServeScripts(m_ownerSocket, &error)) {
    Trace("owner socket unavailable: %s", error.c_str());
  }
}

void COsprelNetworkManagerApp::CreateDocumentFrameView() {
  m_doc = std::make_unique<COsprelNetworkManagerDoc>();
  m_doc->OnNewDocument();
  ViewSettings view = m_options.view;
  view.agent = m_agent;
  // The console's files keep their bytes: the window over the agent has not built their tree.
  if (m_agent) m_doc->m_docNoSave = 1;
  m_frame = std::make_unique<CMainFrame>(
      *m_doc, m_login,
      CMainFrame::Options{.languageFlag = m_languageFlag, .dpi = m_dpi, .view = std::move(view)});
  m_frame->View().OnInitialUpdate();
}

}  // namespace tarnex
