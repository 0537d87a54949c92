#pragma once

#include <QDialog>
#include <memory>

#include "console/console_core.h"
#include "console/display_discovery.h"

class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tarnex {

// The "Network Projector Search" dialog: one search per press of Search, with the bar
// stepping while it runs and the status line telling each display loaded and the end. It
// stays open across searches; EXIT waits for the search's end, while the window's close
// button cancels the search and closes at once, as does the console's close. In serial mode
// there is nothing to search: Search is disabled.
//
// UI thread. The search runs on the console's workers; what it reports comes back as queued
// calls, which Qt drops once the dialog is gone.
class CSearchDlg : public QDialog {
 public:
  static constexpr int kStepMs = 200;

  struct Options {
    SearchOptions search;
    DatagramApi* datagrams = &PosixDatagrams();
  };

  CSearchDlg(CConsoleCore& core, Options options, QWidget* parent = nullptr);

  QProgressBar* ProgressBar() const { return m_progress; }
  QLineEdit* StatusLine() const { return m_status; }
  QPushButton* SearchButton() const { return m_search; }
  QPushButton* ExitButton() const { return m_exit; }
  bool Searching() const { return m_searching; }

  void OnSearch();
  // EXIT, and the window's close button: during a search, only the close button reaches it
  // (EXIT is disabled), and it cancels the search before closing.
  void reject() override;
  // Closing refreshes the Information page when it is on top.
  void done(int result) override;

 protected:
  // Enter and Escape do nothing: the dialog closes only through EXIT.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildLayout();
  void OnStep();
  void OnCompleted();

  CConsoleCore& m_core;
  Options m_options;
  bool m_serial = false;
  bool m_searching = false;

  QProgressBar* m_progress = nullptr;
  QLineEdit* m_status = nullptr;
  QPushButton* m_search = nullptr;
  QPushButton* m_exit = nullptr;
  QTimer* m_steps = nullptr;
  // The running search's cancel; the search's worker holds it too.
  std::shared_ptr<CancelToken> m_cancel;
};

}  // namespace tarnex
