#include "app/search_dlg.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/dialog_keys.h"

namespace tarnex {

CSearchDlg::CSearchDlg(CConsoleCore& core, Options options, QWidget* parent)
    : QDialog(parent), m_core(core), m_options(std::move(options)) {
  setWindowTitle(QStringLiteral("Network Projector Search"));
  BuildLayout();
  {
    auto state = m_core.Lock();
    m_serial = state->Doc().m_docCommunicationSelect == kSerialMode;
  }
  m_search->setEnabled(!m_serial);
  // What the operator came for; Tab leads on to EXIT.
  if (!m_serial) m_search->setFocus();
  m_steps = new QTimer(this);
  m_steps->setInterval(kStepMs);
  connect(m_steps, &QTimer::timeout, this, &CSearchDlg::OnStep);
  connect(m_search, &QPushButton::clicked, this, &CSearchDlg::OnSearch);
  connect(m_exit, &QPushButton::clicked, this, &CSearchDlg::reject);
}

void CSearchDlg::BuildLayout() {
  m_progress = new QProgressBar(this);
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  m_progress->setTextVisible(false);
  m_progress->setAccessibleName(QStringLiteral("BroadCast progress"));
  m_status = new QLineEdit(this);
  m_status->setReadOnly(true);
  m_status->setAccessibleName(QStringLiteral("BroadCast status"));
  auto* frame = new QGroupBox(QStringLiteral("BroadCast"), this);
  auto* inFrame = new QVBoxLayout(frame);
  inFrame->addWidget(m_progress);
  inFrame->addWidget(m_status);

  m_search = new QPushButton(QStringLiteral("Search"), this);
  m_exit = new QPushButton(QStringLiteral("EXIT"), this);
  NoDefaultButtons({m_search, m_exit});
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_search);
  buttons->addWidget(m_exit);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addLayout(buttons);
}

// Search stays disabled with EXIT while the search runs: one search at a time.
void CSearchDlg::OnSearch() {
  if (m_searching || m_serial) return;
  m_searching = true;
  m_search->setEnabled(false);
  m_exit->setEnabled(false);
  m_progress->setValue(0);
  m_steps->start();
  {
    auto state = m_core.Lock();
    state->AppendHistory("Broadcast Searching for Projector");
  }
  CDisplayDiscovery::Hooks hooks;
  // The search's worker: queued to the UI thread, where the dialog may be gone by then.
  QPointer<CSearchDlg> self(this);
  hooks.loading = [self](const std::string& address) {
    const QString text = QStringLiteral("Loading %1").arg(QString::fromStdString(address));
    QMetaObject::invokeMethod(
        qApp,
        [self, text] {
          if (self) self->m_status->setText(text);
        },
        Qt::QueuedConnection);
  };
  hooks.completed = [self] {
    QMetaObject::invokeMethod(
        qApp,
        [self] {
          if (self) self->OnCompleted();
        },
        Qt::QueuedConnection);
  };
  m_cancel = std::make_shared<CancelToken>();
  SearchOptions search = m_options.search;
  search.cancel = m_cancel;
  CDisplayDiscovery(m_core, *m_options.datagrams).Start(std::move(search), std::move(hooks));
}

void CSearchDlg::OnStep() {
  m_progress->setValue((m_progress->value() + 10) % 100);
}

void CSearchDlg::OnCompleted() {
  m_steps->stop();
  m_progress->setValue(100);
  m_status->setText(QStringLiteral("Completed"));
  m_searching = false;
  m_exit->setEnabled(true);
  m_search->setEnabled(!m_serial);
  // Disabling the buttons took the focus away from them.
  if (!m_serial) m_search->setFocus();
}

// A search cancelled while it listens records nothing; one already connecting what it heard
// ends that on the workers, within the connect time-out.
void CSearchDlg::reject() {
  if (m_searching && m_cancel) m_cancel->Cancel();
  QDialog::reject();
}

void CSearchDlg::done(int result) {
  QDialog::done(result);
  bool informationOnTop = false;
  {
    auto state = m_core.Lock();
    informationOnTop = state->Doc().m_docInformationPageActive == 1;
  }
  if (informationOnTop) m_core.Ui().PageMustRefresh();
}

void CSearchDlg::keyPressEvent(QKeyEvent* event) {
  if (!SwallowEnterAndEscape(event)) QDialog::keyPressEvent(event);
}

}  // namespace tarnex
