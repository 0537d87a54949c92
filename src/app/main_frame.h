#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pages/progress_bar.h"

#include <QMainWindow>

#include "app/network_manager_view.h"
#include "app/operator_messages.h"
#include "config/login_file.h"

class QAction;
class QProgressBar;
class QToolButton;

namespace tarnex {

class CloseDeadline;

// The console's one window: toolbar, status bar and the view, at a size fixed by the
// language and the screen. It has no menu bar; the commands without a toolbar button sit in
// the toolbar's "Tools" menu.
class CMainFrame : public QMainWindow {
 public:
  struct Options {
    int languageFlag = 0;
    int dpi = 96;
    ViewSettings view;
  };

  // `login` is the application's: the Manager command changes it, and the close writes it to
  // the login file again.
  CMainFrame(COsprelNetworkManagerDoc& doc, LoginCredentials& login, Options options,
             QWidget* parent = nullptr);
  ~CMainFrame() override;

  COsprelNetworkManagerView& View() { return *m_view; }
  QAction* SearchAction() const { return m_search; }
  QAction* ConnectAction() const { return m_connect; }
  QAction* StatusAction() const { return m_status; }
  QAction* ManagerAction() const { return m_manager; }
  QAction* AboutAction() const { return m_about; }
  QAction* SettingAction() const { return m_setting; }
  QAction* MessageAction() const { return m_message; }
  QAction* AlarmAction() const { return m_alarm; }
  QAction* ScheduleAction() const { return m_schedule; }
  QToolButton* ToolsButton() const { return m_toolsButton; }

  // Who asked the console to end: the operator (the window's close button, a confirmed
  // change of the link), or the end of the session (a termination signal, the session
  // manager's logout), where nobody is left to read a box.
  enum class CloseCause { kOperator, kSession };

  // Ends the console once: every box is silenced, the document is closed, and the files that
  // could not be written are named, to the operator in one box or, at the end of a session,
  // on standard error. Then the window goes and the end handler runs. A session that ends
  // while that box waits ends at once; any other request meanwhile is ignored. UI thread.
  void EndConsole(CloseCause cause);
  bool Ending() const { return m_ending; }
  // What the application does once the window is gone (ends its event loop), and the deadline
  // the end keeps to; both may be absent. Before the end begins.
  void SetEndOfRun(CloseDeadline* deadline, std::function<void()> ended);

  // The document is closed once: the exchanges in flight are cancelled, the configuration and
  // the login are written, then the supervision and the workers stop.
  void CloseDocument();
  // True when the close could not write every file.
  bool SaveFailed() const { return m_saveFailed; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void BuildToolBar();
  void BuildToolsMenu(class QToolBar* toolBar);
  QAction* AddCommand(class QToolBar* toolBar, const char* text, const char* statusText);
  void BuildStatusBar();
  void WatchHistoryReports();
  void ConnectCommands();
  void OnAbout();
  void OnConnectionSetting();
  void OffOverAgent();
  void OnAlarm();
  void OnManager();
  void OnMessage();
  void ShowIdleText();
  void CentreOnScreen();
  void TellFailedFiles(CloseCause cause);
  void Ended();

  LoginCredentials& m_login;
  COsprelNetworkManagerView* m_view = nullptr;
  bool m_documentClosed = false;
  bool m_saveFailed = false;
  std::vector<std::string> m_failedFiles;
  bool m_ending = false;
  std::string m_sizeFile;   // where the window's size is kept
  bool m_boxWaits = false;  // the box naming the failed files waits for the operator
  bool m_ended = false;
  CloseDeadline* m_deadline = nullptr;
  std::function<void()> m_onEnded;
  MessagePresenter m_presenter;

  QAction* m_search = nullptr;
  QAction* m_connect = nullptr;
  QAction* m_status = nullptr;
  QAction* m_manager = nullptr;
  QAction* m_about = nullptr;
  QAction* m_setting = nullptr;
  QAction* m_message = nullptr;
  QAction* m_alarm = nullptr;
  QAction* m_schedule = nullptr;
  QToolButton* m_toolsButton = nullptr;
  std::unique_ptr<CMyProgressBar> m_progress;
};

}  // namespace tarnex
