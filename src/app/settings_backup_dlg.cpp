#include "app/settings_backup_dlg.h"

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/dialog_keys.h"
#include "config/backup_file.h"
#include "platform/config_folder.h"
#include "platform/trace.h"

namespace tarnex {
namespace {

constexpr int kTickMs = 20;

QProgressBar* NewBar(const QString& name, QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setAccessibleName(name);
  return bar;
}

}  // namespace

BackupFileChooser StandardBackupFileChooser() {
  return [](BackupFileDialog kind, QWidget* parent) {
    const bool save = kind == BackupFileDialog::kSave;
    QFileDialog dialog(parent, save ? QStringLiteral("Save As") : QStringLiteral("Open"),
                       QFile::decodeName(QByteArray::fromStdString(ConfigFolder())),
                       QStringLiteral("Log File(*.log)"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("log"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().front();
  };
}

// ---- Progress windows ----

BackupProgressWindow::BackupProgressWindow(std::shared_ptr<const BackupProgress> progress,
                                           QWidget* parent)
    : QDialog(parent), m_progress(std::move(progress)) {
  setModal(false);
  connect(&m_timer, &QTimer::timeout, this, &BackupProgressWindow::OnTick);
  m_timer.start(kTickMs);
}

void BackupProgressWindow::OnTick() {
  Show(m_progress->Current(), m_progress->Total());
}

void BackupProgressWindow::Finish() {
  m_timer.stop();
  Show(100, 100);
}

void BackupProgressWindow::keyPressEvent(QKeyEvent* event) {
  if (!SwallowEnterAndEscape(event)) QDialog::keyPressEvent(event);
}

CUIProgressSave::CUIProgressSave(std::shared_ptr<const BackupProgress> progress, QWidget* parent)
    : BackupProgressWindow(std::move(progress), parent) {
  setWindowTitle(QStringLiteral("Save Configuration Status"));
  m_bar = NewBar(QStringLiteral("Save Configuration Status"), this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_bar);
  setMinimumWidth(320);
}

void CUIProgressSave::Show(int current, int) {
  m_bar->setValue(std::clamp(current, 0, 100));
}

CUIProgressBar::CUIProgressBar(std::shared_ptr<const BackupProgress> progress, QWidget* parent)
    : BackupProgressWindow(std::move(progress), parent) {
  Trace("Init UIProgress Bar");
  setWindowTitle(QStringLiteral("Load Configuration Status"));
  auto* layout = new QVBoxLayout(this);
  auto* currentLabel = new QLabel(QStringLiteral("Current Monitor Status"), this);
  m_current = NewBar(currentLabel->text(), this);
  currentLabel->setBuddy(m_current);
  auto* totalLabel = new QLabel(QStringLiteral("Total Status"), this);
  m_total = NewBar(totalLabel->text(), this);
  totalLabel->setBuddy(m_total);
  layout->addWidget(currentLabel);
  layout->addWidget(m_current);
  layout->addWidget(totalLabel);
  layout->addWidget(m_total);
  setMinimumWidth(320);
}

void CUIProgressBar::Show(int current, int total) {
  m_current->setValue(std::clamp(current, 0, 100));
  m_total->setValue(std::clamp(total, 0, 100));
}

// ---- Commands ----

CSettingsBackup::CSettingsBackup(CConsoleCore& core, MessagePresenter present, QWidget* parent)
    : m_core(core),
      m_present(std::move(present)),
      m_parent(parent),
      m_chooser(StandardBackupFileChooser()) {}

// The console's stop, made before, ends the worker's exchanges at once; what it would still
// hand back is dropped with this object.
CSettingsBackup::~CSettingsBackup() {
  if (m_worker.joinable()) m_worker.join();
  delete m_window.data();
}

bool CSettingsBackup::RefusedWhileRunning() {
  if (!m_running) return false;
  if (m_present) m_present(m_parent, QString::fromLatin1(kBusyText));
  return true;
}

std::string CSettingsBackup::ChooseFile(BackupFileDialog kind) {
  const QString chosen = m_chooser ? m_chooser(kind, m_parent) : QString();
  return QFile::encodeName(chosen).toStdString();
}

std::shared_ptr<BackupProgress> CSettingsBackup::NewProgress() {
  auto progress = std::make_shared<BackupProgress>();
  progress->SetObserver(m_observer);
  return progress;
}

void CSettingsBackup::SaveConfiguration() {
  if (RefusedWhileRunning()) return;
  const CommandTarget target = m_core.Transaction().CaptureTarget();
  const std::string path = ChooseFile(BackupFileDialog::kSave);
  if (path.empty()) return;
  std::shared_ptr<BackupProgress> progress = NewProgress();
  Start(new CUIProgressSave(progress, m_parent), [this, target, path, progress] {
    return SaveMessage(SaveSettings(m_core, target, path, *progress));
  });
}

// The file is read on the worker, as whatever the operator chose may be large or on a slow
// disk; a file that is no backup is refused there, before anything is sent.
void CSettingsBackup::LoadConfiguration() {
  if (RefusedWhileRunning()) return;
  const CommandTarget target = m_core.Transaction().CaptureTarget();
  if (target.route == CommandTarget::Route::kNone) {
    if (m_present) m_present(m_parent, QString::fromLatin1(kNoTargetText));
    return;
  }
  const std::string path = ChooseFile(BackupFileDialog::kOpen);
  if (path.empty()) return;
  std::shared_ptr<BackupProgress> progress = NewProgress();
  Start(new CUIProgressBar(progress, m_parent), [this, target, path, progress] {
    const BackupRead read = ReadBackupFile(path);
    if (read.tooLarge) return std::string(kTooLargeText);
    if (!read.readable || read.emptyKeys >= kBackupEmptyLimit) return std::string(kNotABackupText);
    return RestoreMessage(RestoreSettings(m_core, target, read.values, *progress));
  });
}

void CSettingsBackup::Start(BackupProgressWindow* window, std::function<std::string()> work) {
  if (m_worker.joinable()) m_worker.join();  // ended: m_running was cleared by its end
  m_running = true;
  m_window = window;
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
  // Runs on the backup worker; its end is handed to the UI thread, or dropped if this object
  // is gone by then.
  m_worker = std::thread([this, work = std::move(work)] {
    std::string message = work();
    QMetaObject::invokeMethod(
        this, [this, message = std::move(message)] { Finished(message); }, Qt::QueuedConnection);
  });
}

// UI thread.
void CSettingsBackup::Finished(const std::string& message) {
  if (m_window) {
    m_window->Finish();
    m_window->close();
  }
  m_running = false;
  if (!message.empty() && m_present) {
    m_present(m_parent, QFile::decodeName(QByteArray::fromStdString(message)));
  }
}

}  // namespace tarnex
