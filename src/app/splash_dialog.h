#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

namespace tarnex {

// The splash shown between the login and the main window. It closes after 750 ms, or at once
// on the operator's first key or mouse press anywhere in the application; that press is
// consumed, so it never reaches the main window that is being built behind the splash.
class CSplashDlg : public QWidget {
 public:
  static constexpr int kLifetimeMs = 750;

  explicit CSplashDlg(QWidget* parent = nullptr);
  ~CSplashDlg() override;

  // Shows the splash centred and on top, starts its timer and begins filtering the
  // application's input. Call on the UI thread with a QApplication alive.
  void Start();
  // Hides the splash, stops filtering, runs the dismissal callback and deletes the splash
  // later. Further calls do nothing.
  void Dismiss();
  bool Dismissed() const { return m_dismissed; }
  // Keeps the splash up with `note` under the title while the console waits for something
  // before it can build the window; presses are still consumed, but no longer end it.
  void Hold(const QString& note);
  // The wait is over: the splash goes after its usual time.
  void Release();
  bool Held() const { return m_held; }
  const QString& Note() const { return m_note; }
  // Called once, on the UI thread, when the splash goes (the main window is updated then).
  void SetOnDismissed(std::function<void()> callback) { m_onDismissed = std::move(callback); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  static bool DismissesSplash(const QEvent* event);
  void CentreOnScreen();

  QTimer m_timer;
  bool m_filtering = false;
  bool m_dismissed = false;
  bool m_held = false;
  QString m_note;
  std::function<void()> m_onDismissed;
};

}  // namespace tarnex
