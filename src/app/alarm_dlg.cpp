#include "app/alarm_dlg.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_keys.h"
#include "app/document_snapshot.h"

namespace tarnex {

CAlarmDlg::CAlarmDlg(CConsoleCore& core, AlarmQueue& alarms, MessagePresenter present,
                     QWidget* parent)
    : QDialog(parent), m_core(core), m_alarms(alarms), m_present(std::move(present)) {
  setWindowTitle(QStringLiteral("Alarm"));
  BuildLayout();
  {
    auto state = m_core.Lock();
    const COsprelNetworkManagerDoc& doc = state->Doc();
    m_openSubject = doc.m_docAlarmSubject;
    m_openTo = doc.m_docAlarmTo;
    m_openFrom = doc.m_docAlarmFrom;
    m_openServer = doc.m_docAlarmServer;
  }
  // Filled before the edits are followed: showing the default subject changes no setting
  // until the operator edits a box, tests or presses OK.
  m_subject->setText(m_openSubject.empty() ? QString::fromLatin1(kDefaultSubject)
                                           : QString::fromStdString(m_openSubject));
  m_to->setText(QString::fromStdString(m_openTo));
  m_from->setText(QString::fromStdString(m_openFrom));
  m_server->setText(QString::fromStdString(m_openServer));

  connect(m_subject, &QLineEdit::textEdited, this, [this](const QString& text) {
    Store(&COsprelNetworkManagerDoc::m_docAlarmSubject, text);
  });
  connect(m_to, &QLineEdit::textEdited, this,
          [this](const QString& text) { Store(&COsprelNetworkManagerDoc::m_docAlarmTo, text); });
  connect(m_from, &QLineEdit::textEdited, this,
          [this](const QString& text) { Store(&COsprelNetworkManagerDoc::m_docAlarmFrom, text); });
  connect(m_server, &QLineEdit::textEdited, this, [this](const QString& text) {
    Store(&COsprelNetworkManagerDoc::m_docAlarmServer, text);
  });
  connect(m_ok, &QPushButton::clicked, this, &CAlarmDlg::OnOK);
  connect(m_cancel, &QPushButton::clicked, this, &CAlarmDlg::reject);
  connect(m_test, &QPushButton::clicked, this, &CAlarmDlg::OnTest);
}

void CAlarmDlg::BuildLayout() {
  m_subject = new QLineEdit(this);
  m_to = new QLineEdit(this);
  m_from = new QLineEdit(this);
  m_server = new QLineEdit(this);
  auto* boxes = new QFormLayout;
  // The form's labels are the boxes' buddies, which gives each box its accessible name.
  boxes->addRow(QStringLiteral("Subject :"), m_subject);
  boxes->addRow(QStringLiteral("TO :"), m_to);
  boxes->addRow(QStringLiteral("FROM :"), m_from);
  boxes->addRow(QStringLiteral("SMTP Server :"), m_server);
  m_subject->setAccessibleName(QStringLiteral("Subject :"));
  m_to->setAccessibleName(QStringLiteral("TO :"));
  m_from->setAccessibleName(QStringLiteral("FROM :"));
  m_server->setAccessibleName(QStringLiteral("SMTP Server :"));

  m_ok = new QPushButton(QStringLiteral("OK"), this);
  m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
  m_test = new QPushButton(QStringLiteral("TEST"), this);
  // No button takes Enter for itself; see keyPressEvent.
  for (QPushButton* button : {m_ok, m_cancel, m_test}) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_test);
  buttons->addStretch();
  buttons->addWidget(m_ok);
  buttons->addWidget(m_cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(boxes);
  layout->addLayout(buttons);
}

void CAlarmDlg::Store(std::string COsprelNetworkManagerDoc::*field, const QString& text) {
  auto state = m_core.Lock();
  state->Doc().*field = text.toStdString();
}

void CAlarmDlg::OnOK() {
  {
    auto state = m_core.Lock();
    COsprelNetworkManagerDoc& doc = state->Doc();
    doc.m_docAlarmSubject = m_subject->text().toStdString();
    doc.m_docAlarmTo = m_to->text().toStdString();
    doc.m_docAlarmFrom = m_from->text().toStdString();
    doc.m_docAlarmServer = m_server->text().toStdString();
  }
  // Written from a copy, without the lock: a slow disk holds up no worker.
  DocumentSnapshot snapshot(m_core);
  if (!snapshot.Doc().WriteAlarmSettings() && m_present) {
    m_present(this, SaveFailureText(snapshot.Doc().FailedFiles()));
  }
  accept();
}

// The test mail goes ahead of the waiting alarms and waits only for the mail in flight; its
// verdict comes to the operator through the console's UI host. The dialog stays live, with
// TEST disabled until the mail has gone or failed.
void CAlarmDlg::OnTest() {
  Store(&COsprelNetworkManagerDoc::m_docAlarmSubject, m_subject->text());
  m_test->setEnabled(false);
  QPointer<CAlarmDlg> self(this);
  m_alarms.EnqueueFirst(AlarmKind::kTest, "test", [self] {
    // Mail worker: back to the UI thread, where the dialog may have closed meanwhile.
    QMetaObject::invokeMethod(
        qApp,
        [self] {
          if (self) self->m_test->setEnabled(true);
        },
        Qt::QueuedConnection);
  });
}

void CAlarmDlg::reject() {
  {
    auto state = m_core.Lock();
    COsprelNetworkManagerDoc& doc = state->Doc();
    doc.m_docAlarmSubject = m_openSubject;
    doc.m_docAlarmTo = m_openTo;
    doc.m_docAlarmFrom = m_openFrom;
    doc.m_docAlarmServer = m_openServer;
  }
  QDialog::reject();
}

void CAlarmDlg::keyPressEvent(QKeyEvent* event) {
  if (!SwallowEnterAndEscape(event)) QDialog::keyPressEvent(event);
}

}  // namespace tarnex
