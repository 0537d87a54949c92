#include "app/main_frame.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <cstdio>

#include "app/agent_mode.h"
#include "app/alarm_dlg.h"
#include "app/close_deadline.h"
#include "app/document_snapshot.h"
#include "app/message_dlg.h"
#include "app/operator_messages.h"
#include "app/schedule_dlg.h"
#include "app/search_dlg.h"
#include "app/setting_dlg.h"
#include "app/user_manager.h"
#include "app/window_layout.h"
#include "config/history_report.h"
#include "monitor/message_frames.h"
#include "monitor/message_sender.h"
#include "monitor/page_setter.h"
#include "platform/trace.h"

namespace tarnex {
namespace {

constexpr QSize kToolButtonSize(72, 24);
// The status bar's text while the mouse is over no command.
constexpr const char* kIdleText = "Ready";

}  // namespace

CMainFrame::CMainFrame(COsprelNetworkManagerDoc& doc, LoginCredentials& login, Options options,
                       QWidget* parent)
    : QMainWindow(parent),
      m_login(login),
      m_presenter(options.view.presenter ? options.view.presenter : ModalMessagePresenter()) {
  setWindowTitle(QString::fromLatin1(kApplicationTitle));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  m_view = new COsprelNetworkManagerView(doc, std::move(options.view), this);
  setCentralWidget(m_view);
  BuildToolBar();
  BuildStatusBar();
  WatchHistoryReports();
  ConnectCommands();
  if (m_view->AgentRunning()) OffOverAgent();
  // The drawn size is the least; the platform's font may need a wider window for the sheet's
  // tab titles, and the operator may make it larger still.
  const QSize drawn = FixedWindowSize(options.languageFlag, options.dpi);
  const QSize minimum(std::max(drawn.width(), minimumSizeHint().width()), drawn.height());
  setMinimumSize(minimum);
  m_sizeFile = doc.m_docConfigFolder + kWindowSizeFile;
  resize(StoredWindowSize(m_sizeFile, minimum));
  CentreOnScreen();
}

void CMainFrame::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect available = screen->availableGeometry();
  QRect frame(QPoint(), size());
  frame.moveCenter(available.center());
  // A window larger than the screen keeps its title and toolbar on it.
  move(std::max(frame.left(), available.left()), std::max(frame.top(), available.top()));
}

CMainFrame::~CMainFrame() {
  CloseDocument();
  ClearHistoryFailureHook(this);  // before the status bar's label goes
}

QAction* CMainFrame::AddCommand(QToolBar* toolBar, const char* text, const char* statusText) {
  QAction* action = toolBar->addAction(QString::fromLatin1(text));
  action->setStatusTip(QString::fromLatin1(statusText));
  toolBar->widgetForAction(action)->setFixedSize(kToolButtonSize);
  return action;
}

void CMainFrame::BuildToolBar() {
  auto* toolBar = addToolBar(QStringLiteral("Toolbar"));
  toolBar->setMovable(false);
  toolBar->setFloatable(false);
  toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  toolBar->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu);

  m_search = AddCommand(toolBar, "Search", "Find Connected Projector");
  toolBar->addSeparator();
  m_connect = AddCommand(toolBar, "Connect", "Connect Projector");
  m_status = AddCommand(toolBar, "Status", "Read Current Status");
  toolBar->addSeparator();
  m_manager = AddCommand(toolBar, "Manager", "Change User ID or Password");
  m_about = AddCommand(toolBar, "About", "");
  toolBar->addSeparator();
  BuildToolsMenu(toolBar);
}

void CMainFrame::BuildToolsMenu(QToolBar* toolBar) {
  auto* menu = new QMenu(this);
  m_setting = menu->addAction(QStringLiteral("Connection Setting"));
  m_setting->setStatusTip(QStringLiteral("Network, Serial Setting "));
  m_message = menu->addAction(QStringLiteral("Message"));
  m_message->setStatusTip(QStringLiteral("Send Message"));
  m_alarm = menu->addAction(QStringLiteral("Alram"));
  m_alarm->setStatusTip(QStringLiteral("Send email on alert"));
  m_schedule = menu->addAction(QStringLiteral("Schedule"));
  m_schedule->setStatusTip(QStringLiteral("Run the displays by the clock"));

  m_toolsButton = new QToolButton(this);
  m_toolsButton->setText(QStringLiteral("Tools"));
  m_toolsButton->setMenu(menu);
  m_toolsButton->setPopupMode(QToolButton::InstantPopup);
  m_toolsButton->setFixedSize(kToolButtonSize);
  // Like the other toolbar buttons it is not a Tab stop: Tab goes from the tree to the pages.
  m_toolsButton->setFocusPolicy(Qt::NoFocus);
  toolBar->addWidget(m_toolsButton);
}

void CMainFrame::BuildStatusBar() {
  statusBar()->setSizeGripEnabled(false);  // the window's edges resize it
  ShowIdleText();
  m_progress = std::make_unique<CMyProgressBar>(statusBar(), QString::fromLatin1(kIdleText));
  // Beside the command texts, so that a status tip does not hide it.
  auto* mailFailed = new QLabel(QStringLiteral("Alarm mail failed"), statusBar());
  mailFailed->hide();
  statusBar()->addPermanentWidget(mailFailed);
  m_view->SetAlarmMailFailingHandler(
      [mailFailed](bool failing) { mailFailed->setVisible(failing); });
  m_view->SetProgressHandlers([this] { m_progress->Create(); },
                              [this](int percent) { m_progress->SetPos(percent); },
                              [this] { m_progress->Destroy(); });
}

// A history report that stops taking lines is named once, in a part of the status bar that
// the command texts and the progress panel leave alone; the hook comes from whichever thread
// wrote, so the text is shown on the UI thread.
void CMainFrame::WatchHistoryReports() {
  auto* label = new QLabel(statusBar());
  label->hide();
  statusBar()->addPermanentWidget(label);
  SetHistoryFailureHook(this, [label](const std::string& path) {
    QMetaObject::invokeMethod(
        label,
        [label, text = QString::fromStdString(HistoryFailureText(path))] {
          label->setText(text);
          label->show();
        },
        Qt::QueuedConnection);
  });
}

void CMainFrame::ConnectCommands() {
  connect(m_connect, &QAction::triggered, m_view, &COsprelNetworkManagerView::OnConnect);
  connect(m_status, &QAction::triggered, m_view, &COsprelNetworkManagerView::OnStatus);
  connect(m_about, &QAction::triggered, this, &CMainFrame::OnAbout);
  connect(m_setting, &QAction::triggered, this, &CMainFrame::OnConnectionSetting);
  connect(m_alarm, &QAction::triggered, this, &CMainFrame::OnAlarm);
  connect(m_schedule, &QAction::triggered, this, [this] {
    CScheduleDlg dialog(m_view->Core(), m_view->Schedules(), m_view->ScheduleClock(), this);
    dialog.exec();
  });
  connect(m_manager, &QAction::triggered, this, &CMainFrame::OnManager);
  connect(m_message, &QAction::triggered, this, &CMainFrame::OnMessage);
  connect(m_search, &QAction::triggered, this, [this] {
    CSearchDlg dialog(m_view->Core(), {}, this);
    dialog.exec();
  });
}

// The commands that would reach the displays without the agent, or change what only the
// agent keeps, stay visible and say why they are off.
void CMainFrame::OffOverAgent() {
  const QString why = QString::fromLatin1(kNotThroughAgent);
  for (QAction* action : {m_search, m_connect, m_status, m_message, m_alarm, m_schedule}) {
    action->setEnabled(false);
    action->setToolTip(why);
    action->setStatusTip(why);
  }
}

// A confirmed change of the link ends the console, so the next start uses the new link.
void CMainFrame::OnConnectionSetting() {
  CSettingDlg::Hooks hooks;
  hooks.modeLabel = [this](const QString& text) { m_view->ModeEdit()->setText(text); };
  hooks.closeRequest = [this] {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  };
  CSettingDlg dialog(m_view->Core(), m_view->SerialPort(), std::move(hooks),
                     {.running = m_view->AgentRunning(), .file = {}, .tell = {}}, this);
  dialog.exec();
}

void CMainFrame::OnAlarm() {
  CAlarmDlg dialog(m_view->Core(), m_view->Alarms(), m_presenter, this);
  dialog.exec();
}

void CMainFrame::OnManager() {
  CUserManager dialog(m_view->Core(), m_login, m_presenter, this);
  dialog.exec();
}

void CMainFrame::OnMessage() {
  CConsoleCore& core = m_view->Core();
  if (!core.Lock()->SelectionUsable()) {
    if (m_presenter) m_presenter(this, QStringLiteral("Please Select MNT or Group"));
    return;
  }
  MessageActions actions;
  actions.place = [&core](int alignment) { PostToTarget(core, MessagePlaceCommand(alignment)); };
  actions.colour = [&core](int colour) { PostToTarget(core, MessageColourCommand(colour)); };
  actions.size = [&core](int size) { PostToTarget(core, MessageSizeCommand(size)); };
  actions.clear = [&core] { PostClearMessage(core); };
  actions.send = [&core](const std::string& text, int alignment, int colour) {
    PostMessage(core, text, alignment, colour);
    return std::string();
  };
  CMessage dialog(std::move(actions), m_presenter, this);
  dialog.exec();
}

void CMainFrame::OnAbout() {
  QMessageBox::about(this, QStringLiteral("About OsprelNetworkManager"),
                     QStringLiteral("%1 %2").arg(QString::fromLatin1(kApplicationTitle),
                                                 QStringLiteral(TARNEX_VERSION)));
}

// A command's status text while the mouse is over it, the idle text when it leaves.
bool CMainFrame::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip && static_cast<QStatusTipEvent*>(event)->tip().isEmpty()) {
    ShowIdleText();
    return true;
  }
  return QMainWindow::event(event);
}

void CMainFrame::ShowIdleText() {
  statusBar()->showMessage(QString::fromLatin1(kIdleText));
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  EndConsole(CloseCause::kOperator);
  event->accept();
}

void CMainFrame::SetEndOfRun(CloseDeadline* deadline, std::function<void()> ended) {
  m_deadline = deadline;
  m_onEnded = std::move(ended);
}

void CMainFrame::EndConsole(CloseCause cause) {
  if (m_ending) {
    // Only the box of a failed save can hold the end now, and the session's end does not wait
    // for it.
    if (cause == CloseCause::kSession && m_boxWaits) {
      if (m_deadline != nullptr) m_deadline->Start();
      TellFailedFiles(cause);
      Ended();
    }
    return;
  }
  m_ending = true;
  if (m_deadline != nullptr) m_deadline->Start();
  if (!StoreWindowSize(m_sizeFile, size())) Trace("window size not kept in %s", m_sizeFile.c_str());
  // A box queued by a worker just before, or one a page would open now, must not hold the end.
  m_view->SilenceMessages();
  CloseDocument();
  if (!m_failedFiles.empty()) TellFailedFiles(cause);
  Ended();
}

// Every file in one text: the operator acknowledges a failed save once, whatever it took.
void CMainFrame::TellFailedFiles(CloseCause cause) {
  if (cause == CloseCause::kSession) {
    for (const std::string& path : m_failedFiles) {
      std::fprintf(stderr, "tarnex-manager: the configuration could not be saved to %s\n",
                   path.c_str());
    }
    return;
  }
  m_boxWaits = true;
  if (m_deadline != nullptr) m_deadline->Pause();
  m_presenter(this, SaveFailureText(m_failedFiles));
  if (m_deadline != nullptr) m_deadline->Start();
  m_boxWaits = false;
}

void CMainFrame::Ended() {
  if (m_ended) return;
  m_ended = true;
  hide();
  if (m_onEnded) m_onEnded();
}

void CMainFrame::CloseDocument() {
  if (m_documentClosed) return;
  m_documentClosed = true;
  // The configuration is written first: if the session ends while the workers unwind, it is
  // already on disk. The stop makes the workers end within about a second.
  m_view->Core().Stop();
  m_view->CancelMail();
  // Written from a copy, so that the workers ending meanwhile do not wait for the disk.
  DocumentSnapshot snapshot(m_view->Core());
  m_saveFailed = !snapshot.Doc().OnCloseDocument(m_login);
  m_failedFiles = snapshot.Doc().FailedFiles();
  m_view->StopMail();
  // The scripts' requests ended with the core's stop; their threads are gathered here.
  m_view->StopScripts();
  m_view->StopSupervision();
  m_view->Core().Jobs().Stop();
}

}  // namespace tarnex
