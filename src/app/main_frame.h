#pragma once

#include <memory>

#include "pages/progress_bar.h"

#include <QMainWindow>

#include "app/network_manager_view.h"
#include "app/operator_messages.h"
#include "config/login_file.h"

class QAction;
class QProgressBar;
class QToolButton;

namespace tarnex {

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

  // `login` is the application's, written to the login file when the window closes.
  CMainFrame(COsprelNetworkManagerDoc& doc, const LoginCredentials& login, Options options,
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
  QToolButton* ToolsButton() const { return m_toolsButton; }

  // The document is closed once, when the window closes: the supervision stops first, then
  // the configuration and the login are written. A file that could not be written is named
  // to the operator.
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
  void ConnectCommands();
  void OnAbout();
  void OnConnectionSetting();
  void ShowIdleText();
  void CentreOnScreen();

  const LoginCredentials& m_login;
  COsprelNetworkManagerView* m_view = nullptr;
  bool m_documentClosed = false;
  bool m_saveFailed = false;
  MessagePresenter m_presenter;

  QAction* m_search = nullptr;
  QAction* m_connect = nullptr;
  QAction* m_status = nullptr;
  QAction* m_manager = nullptr;
  QAction* m_about = nullptr;
  QAction* m_setting = nullptr;
  QAction* m_message = nullptr;
  QAction* m_alarm = nullptr;
  QToolButton* m_toolsButton = nullptr;
  std::unique_ptr<CMyProgressBar> m_progress;
};

}  // namespace tarnex
