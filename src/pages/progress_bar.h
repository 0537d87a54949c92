#pragma once

#include <QPointer>
#include <QString>

class QProgressBar;
class QStatusBar;
class QWidget;

namespace tarnex {

// The "Please Wait..." indicator in the first pane of the main frame's status bar, shown while
// a page reads or a group command runs. The Qt UiHost forwards ProgressCreate, ProgressSetPos
// and ProgressDestroy here.
//
// Threads: UI thread only. Without a status bar (tests) it keeps its state and shows nothing.
class CMyProgressBar {
 public:
  explicit CMyProgressBar(QStatusBar* statusBar, QString idleText = {});
  ~CMyProgressBar();
  CMyProgressBar(const CMyProgressBar&) = delete;
  CMyProgressBar& operator=(const CMyProgressBar&) = delete;

  // Shows the text and the bar at position 0. A create inside a create (a group command run
  // by a refresh) keeps the one bar; it goes with the outermost destroy.
  void Create();
  // 0 to 100; outside that range the bar stops at its end.
  void SetPos(int percent);
  // Removes the bar and shows the frame's idle text again.
  void Destroy();

  bool Exists() const { return m_depth > 0; }
  int Pos() const { return m_pos; }
  // What the first pane shows when nothing runs; empty clears it.
  void SetIdleText(const QString& text) { m_idleText = text; }

 private:
  void ShowPanel();
  void RemovePanel();

  QPointer<QStatusBar> m_statusBar;
  QString m_idleText;
  QPointer<QWidget> m_panel;
  QPointer<QProgressBar> m_bar;
  int m_depth = 0;
  int m_pos = 0;
};

}  // namespace tarnex
