#pragma once

#include <QPointer>
#include <memory>
#include <string>

#include "app/agent_settings.h"
#include "app/close_deadline.h"
#include "app/main_frame.h"
#include "app/operator_messages.h"
#include "config/login_file.h"
#include "config/network_manager_doc.h"

namespace tarnex {

class CSplashDlg;
class OwnerLock;
class SingleInstance;

// The console's start: one copy only, the operator's language, the login, the splash, and
// only then the document, the window and the view. Nothing of the device side runs before the
// login succeeded.
class COsprelNetworkManagerApp {
 public:
  struct Options {
    MessagePresenter presenter;  // empty: the modal box
    std::string lockFolder;      // empty: $XDG_RUNTIME_DIR or /tmp
    std::string executablePath;  // empty: this process's executable
    std::string localeName;      // empty: the system locale
    ViewSettings view;
  };

  explicit COsprelNetworkManagerApp(Options options = {});
  ~COsprelNetworkManagerApp();
  COsprelNetworkManagerApp(const COsprelNetworkManagerApp&) = delete;
  COsprelNetworkManagerApp& operator=(const COsprelNetworkManagerApp&) = delete;

  // True when the main window is shown; false when the program must end (a copy already
  // runs, or the login was cancelled). UI thread, with a QApplication alive.
  bool InitInstance();
  // Runs the window until the console ends; the exit status. The operator ends it by closing
  // the window; the end of the session (SIGTERM, SIGINT, SIGHUP, the session manager's quit)
  // ends it without a box. Whatever is open then (a box, a dialog, a menu) goes with it, and
  // the process ends within the close's deadline. After a successful InitInstance, on the UI
  // thread.
  int Run();

  // The process's exit status once the start or the run is over: non-zero when the login
  // file could not be read or the final save of the configuration failed.
  int ExitStatus() const;

  const LoginCredentials& Login() const { return m_login; }
  int LanguageFlag() const { return m_languageFlag; }
  int Dpi() const { return m_dpi; }
  CMainFrame* MainFrame() const { return m_frame.get(); }
  COsprelNetworkManagerDoc* Document() const { return m_doc.get(); }

 private:
  bool AnotherCopyRuns();
  void ReadLanguage();
  bool RunLogin();
  void ShowSplash();
  void ReadAgentChoice();
  void TakeOwnerLock();
  void ServeScripts();
  void CreateDocumentFrameView();
  void MeasureDpiIfUnknown();
  void TellUnreadableFiles();

  Options m_options;
  MessagePresenter m_presenter;
  std::unique_ptr<SingleInstance> m_instance;
  // Before the window and the document: their teardown is part of the close it bounds.
  CloseDeadline m_closeDeadline;
  // The display links' owner lock, held from the login to the end; released after the window
  // and its connections have gone.
  std::unique_ptr<OwnerLock> m_ownerLock;
  std::string m_ownerSocket;
  // Set when the window runs over the site agent.
  std::optional<AgentSettingsRead> m_agent;
  LoginCredentials m_login;
  int m_languageFlag = 0;
  int m_dpi = 0;
  int m_exitStatus = 0;
  std::unique_ptr<COsprelNetworkManagerDoc> m_doc;
  std::unique_ptr<CMainFrame> m_frame;
  QPointer<CSplashDlg> m_splash;
};

}  // namespace tarnex
