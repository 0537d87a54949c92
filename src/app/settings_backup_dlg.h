#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/operator_messages.h"
#include "console/console_core.h"
#include "monitor/settings_backup.h"

class QProgressBar;

namespace tarnex {

enum class BackupFileDialog { kSave, kOpen };
// Asks the operator for a backup file; the empty text when the dialog was cancelled. Tests
// answer it instead of the operator.
using BackupFileChooser = std::function<QString(BackupFileDialog kind, QWidget* parent)>;
// The file dialogs: "Log File(*.log)", extension "log" added when none is typed, opening in
// the configuration folder, an existing file to be replaced only when the operator agrees.
BackupFileChooser StandardBackupFileChooser();

// A progress window of a save or a load, not modal: its bars follow the worker's counters
// every 20 ms until the run ends. It has no button and ends with its run.
class BackupProgressWindow : public QDialog {
 public:
  // The run ended: the bars show 100 and stop following.
  void Finish();

 protected:
  BackupProgressWindow(std::shared_ptr<const BackupProgress> progress, QWidget* parent);
  void keyPressEvent(QKeyEvent* event) override;
  virtual void Show(int current, int total) = 0;

 private:
  void OnTick();

  std::shared_ptr<const BackupProgress> m_progress;
  QTimer m_timer;
};

// "Save Configuration Status": one bar.
class CUIProgressSave : public BackupProgressWindow {
 public:
  CUIProgressSave(std::shared_ptr<const BackupProgress> progress, QWidget* parent);
  QProgressBar* Bar() const { return m_bar; }

 private:
  void Show(int current, int total) override;
  QProgressBar* m_bar = nullptr;
};

// "Load Configuration Status": the display being restored and the whole command.
class CUIProgressBar : public BackupProgressWindow {
 public:
  CUIProgressBar(std::shared_ptr<const BackupProgress> progress, QWidget* parent);
  QProgressBar* CurrentBar() const { return m_current; }
  QProgressBar* TotalBar() const { return m_total; }

 private:
  void Show(int current, int total) override;
  QProgressBar* m_current = nullptr;
  QProgressBar* m_total = nullptr;
};

// The tree menu's "Save Configuration" and "Load Configuration". The target is taken from the
// selection when the operator chooses the command; the save or the load (its file read first)
// then runs on a thread of its own (a restore hands its exchanges to the console's jobs and
// waits for them)
// while the window stays free and a progress window shows how far it is. One runs at a time.
//
// UI thread. The worker hands its end back through a queued call to this object; the
// destructor waits for the worker, which the console's stop ends at once. `parent` is where
// the windows and messages show; it does not own this object.
class CSettingsBackup : public QObject {
 public:
  static constexpr const char* kBusyText = "Another Save or Load Configuration is still running";
  static constexpr const char* kNotABackupText = "Please Select QX Monitor Log File";
  static constexpr const char* kTooLargeText =
      "Please Select QX Monitor Log File\nThe file chosen is larger than 64 KB, where a backup "
      "is about 600 bytes";
  static constexpr const char* kNoTargetText = "Select a display or a group first";

  CSettingsBackup(CConsoleCore& core, MessagePresenter present, QWidget* parent);
  ~CSettingsBackup() override;
  CSettingsBackup(const CSettingsBackup&) = delete;
  CSettingsBackup& operator=(const CSettingsBackup&) = delete;

  void SaveConfiguration();
  void LoadConfiguration();

  bool Running() const { return m_running; }
  void SetFileChooser(BackupFileChooser chooser) { m_chooser = std::move(chooser); }
  // The progress window of the present run, or null.
  BackupProgressWindow* ProgressWindow() const { return m_window.data(); }
  // Told on the worker at every change of the counters of the runs started from now on.
  void SetProgressObserver(BackupProgress::Observer observer) { m_observer = std::move(observer); }

 private:
  bool RefusedWhileRunning();
  std::string ChooseFile(BackupFileDialog kind);
  std::shared_ptr<BackupProgress> NewProgress();
  void Start(BackupProgressWindow* window, std::function<std::string()> work);
  void Finished(const std::string& message);

  CConsoleCore& m_core;
  MessagePresenter m_present;
  QWidget* m_parent;
  BackupFileChooser m_chooser;
  BackupProgress::Observer m_observer;
  QPointer<BackupProgressWindow> m_window;
  bool m_running = false;
  std::thread m_worker;
};

}  // namespace tarnex
