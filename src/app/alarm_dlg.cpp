#include "app/alarm_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_keys.h"
#include "app/document_snapshot.h"
#include "app/legacy_text.h"
#include "monitor/alarm_mail.h"
#include "monitor/smtp/fast_smtp.h"

namespace tarnex {

CAlarmDlg::CAlarmDlg(CConsoleCore& core, AlarmQueue& alarms, MessagePresenter present,
                     QWidget* parent)
    : QDialog(parent), m_core(core), m_alarms(alarms), m_present(std::move(present)) {
  setWindowTitle(QStringLiteral("Alarm"));
  BuildLayout();
  {
    auto state = m_core.Lock();
    for (const Box& box : Boxes()) *box.open = state->Doc().*box.field;
    m_openEncryption = state->Doc().m_docAlarmEncryption;
  }
  MailEncryption shown = EncryptionOf(m_openEncryption);
  if (shown == MailEncryption::kByAccount) {
    shown = m_openUser.empty() ? MailEncryption::kIfOffered : MailEncryption::kRequired;
  }
  m_encryption->setCurrentIndex(static_cast<int>(shown) - 1);
  connect(m_encryption, &QComboBox::activated, this, [this] {
    auto state = m_core.Lock();
    state->Doc().m_docAlarmEncryption = m_encryption->currentText().toStdString();
  });
  // Filled before the edits are followed: showing the default subject changes no setting
  // until the operator edits a box, tests or presses OK.
  for (const Box& box : Boxes()) box.edit->setText(DecodeText(*box.open));
  if (m_openSubject.empty()) m_subject->setText(QString::fromLatin1(kDefaultSubject));
  for (const Box& box : Boxes()) {
    connect(box.edit, &QLineEdit::textEdited, this, [this, box] { Store(box); });
  }
  connect(m_ok, &QPushButton::clicked, this, &CAlarmDlg::OnOK);
  connect(m_cancel, &QPushButton::clicked, this, &CAlarmDlg::reject);
  connect(m_test, &QPushButton::clicked, this, &CAlarmDlg::OnTest);
}

std::array<CAlarmDlg::Box, 6> CAlarmDlg::Boxes() {
  using Doc = COsprelNetworkManagerDoc;
  return {{{m_subject, &Doc::m_docAlarmSubject, &m_openSubject},
           {m_to, &Doc::m_docAlarmTo, &m_openTo, "TO"},
           {m_from, &Doc::m_docAlarmFrom, &m_openFrom, "FROM"},
           {m_server, &Doc::m_docAlarmServer, &m_openServer},
           {m_user, &Doc::m_docAlarmUser, &m_openUser},
           {m_password, &Doc::m_docAlarmPassword, &m_openPassword}}};
}

void CAlarmDlg::BuildLayout() {
  m_subject = new QLineEdit(this);
  m_to = new QLineEdit(this);
  m_from = new QLineEdit(this);
  m_server = new QLineEdit(this);
  m_user = new QLineEdit(this);
  m_password = new QLineEdit(this);
  m_password->setEchoMode(QLineEdit::Password);
  m_encryption = new QComboBox(this);
  for (const MailEncryption choice :
       {MailEncryption::kIfOffered, MailEncryption::kRequired, MailEncryption::kNever}) {
    m_encryption->addItem(QString::fromStdString(StoredEncryption(choice)));
  }
  auto* boxes = new QFormLayout;
  // The form's labels are the boxes' buddies, which gives each box its accessible name.
  boxes->addRow(QStringLiteral("Subject :"), m_subject);
  boxes->addRow(QStringLiteral("TO :"), m_to);
  boxes->addRow(QStringLiteral("FROM :"), m_from);
  boxes->addRow(QStringLiteral("SMTP Server :"), m_server);
  boxes->addRow(QStringLiteral("User :"), m_user);
  boxes->addRow(QStringLiteral("Password :"), m_password);
  boxes->addRow(QStringLiteral("Encryption :"), m_encryption);
  m_subject->setAccessibleName(QStringLiteral("Subject :"));
  m_to->setAccessibleName(QStringLiteral("TO :"));
  m_from->setAccessibleName(QStringLiteral("FROM :"));
  m_server->setAccessibleName(QStringLiteral("SMTP Server :"));
  m_user->setAccessibleName(QStringLiteral("User :"));
  m_password->setAccessibleName(QStringLiteral("Password :"));
  m_encryption->setAccessibleName(QStringLiteral("Encryption :"));

  // Made in the order they stand, which is the Tab order.
  m_test = new QPushButton(QStringLiteral("TEST"), this);
  m_ok = new QPushButton(QStringLiteral("OK"), this);
  m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
  NoDefaultButtons({m_ok, m_cancel, m_test});
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_test);
  buttons->addStretch();
  buttons->addWidget(m_ok);
  buttons->addWidget(m_cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(boxes);
  layout->addLayout(buttons);
}

// An address box that holds no one address leaves its setting as it was: an alarm raised
// meanwhile goes to the last usable address, and the close never writes what OK refuses.
void CAlarmDlg::Store(const Box& box) {
  const std::string text = EncodeText(box.edit->text(), *box.open);
  if (box.address != nullptr && !AddressProblem(box.address, text).empty()) return;
  auto state = m_core.Lock();
  state->Doc().*box.field = text;
}

bool CAlarmDlg::RefuseBadAddress() {
  for (const Box& box : Boxes()) {
    if (box.address == nullptr) continue;
    const std::string problem =
        AddressProblem(box.address, EncodeText(box.edit->text(), *box.open));
    if (problem.empty()) continue;
    if (m_present) m_present(this, QString::fromStdString(problem));
    box.edit->setFocus();
    return true;
  }
  return false;
}

void CAlarmDlg::OnOK() {
  if (RefuseBadAddress()) return;
  for (const Box& box : Boxes()) Store(box);
  // Written from a copy, without the lock: a slow disk holds up no worker.
  DocumentSnapshot snapshot(m_core);
  const bool alarm = snapshot.Doc().WriteAlarmSettings();
  // The account is written only when it changed: the login file is the operator's own.
  const bool account = (m_user->text() == DecodeText(m_openUser) &&
                        m_password->text() == DecodeText(m_openPassword)) ||
                       snapshot.Doc().WriteMailLogin();
  if ((!alarm || !account) && m_present) {
    m_present(this, SaveFailureText(snapshot.Doc().FailedFiles()));
  }
  accept();
}

// The test mail goes ahead of the waiting alarms and waits only for the mail in flight; its
// verdict comes to the operator through the console's UI host. The dialog stays live, with
// TEST disabled until the mail has gone or failed.
void CAlarmDlg::OnTest() {
  if (RefuseBadAddress()) return;
  Store(Boxes()[0]);
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
    for (const Box& box : Boxes()) state->Doc().*box.field = *box.open;
    state->Doc().m_docAlarmEncryption = m_openEncryption;
  }
  QDialog::reject();
}

void CAlarmDlg::keyPressEvent(QKeyEvent* event) {
  if (!SwallowEnterAndEscape(event)) QDialog::keyPressEvent(event);
}

}  // namespace tarnex
