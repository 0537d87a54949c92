#include "app/user_manager.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/credential_change.h"
#include "app/dialog_keys.h"
#include "app/legacy_text.h"
#include "app/login_check.h"
#include "platform/trace.h"

namespace tarnex {
namespace {

QLineEdit* AddBox(QFormLayout* form, QWidget* parent, const char* label, bool hidden) {
  auto* edit = new QLineEdit(parent);
  if (hidden) edit->setEchoMode(QLineEdit::Password);
  edit->setAccessibleName(QString::fromLatin1(label));
  form->addRow(QString::fromLatin1(label), edit);
  return edit;
}

}  // namespace

CUserManager::CUserManager(CConsoleCore& core, LoginCredentials& login, MessagePresenter present,
                           QWidget* parent)
    : QDialog(parent), m_core(core), m_login(login), m_present(std::move(present)) {
  setWindowTitle(QStringLiteral("Security Manager"));
  BuildLayout();
  for (QWidget* locked : std::initializer_list<QWidget*>{m_newId, m_newPassword, m_confirm, m_ok}) {
    locked->setEnabled(false);
  }
  connect(m_set, &QPushButton::clicked, this, &CUserManager::OnSet);
  connect(m_ok, &QPushButton::clicked, this, &CUserManager::OnOK);
  connect(m_cancel, &QPushButton::clicked, this, &CUserManager::reject);
}

// Made in the order of the fields, which is the Tab order.
void CUserManager::BuildLayout() {
  auto* current = new QGroupBox(QStringLiteral("Current Setting"), this);
  auto* currentForm = new QFormLayout;
  m_currentId = AddBox(currentForm, current, "Current ID :", false);
  m_currentPassword = AddBox(currentForm, current, "Current Password :", true);
  m_set = new QPushButton(QStringLiteral("Set"), current);
  currentForm->addRow(QString(), m_set);
  current->setLayout(currentForm);

  auto* next = new QGroupBox(QStringLiteral("New Setting"), this);
  auto* nextForm = new QFormLayout;
  m_newId = AddBox(nextForm, next, "New ID :", false);
  m_newPassword = AddBox(nextForm, next, "New Password :", true);
  m_confirm = AddBox(nextForm, next, "Confirm Password :", true);
  next->setLayout(nextForm);

  m_ok = new QPushButton(QStringLiteral("OK"), this);
  m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
  NoDefaultButtons({m_set, m_ok, m_cancel});
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_ok);
  buttons->addWidget(m_cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(current);
  layout->addWidget(next);
  layout->addLayout(buttons);
}

void CUserManager::Tell(const std::string& text) {
  if (m_present) m_present(this, QString::fromStdString(text));
}

// Typed text compared as the login dialog compares it, so that what opens the console is
// what proves the operator here.
void CUserManager::OnSet() {
  const LoginVerdict verdict =
      CheckLogin(m_login, EncodeText(m_currentId->text(), m_login.m_id),
                 EncodeText(m_currentPassword->text(), m_login.m_password));
  if (verdict != LoginVerdict::kAccepted) {
    Tell(LoginErrorText(verdict));
    return;
  }
  for (QWidget* unlocked :
       std::initializer_list<QWidget*>{m_newId, m_newPassword, m_confirm, m_ok}) {
    unlocked->setEnabled(true);
  }
  m_newId->setFocus();
}

void CUserManager::OnOK() {
  if (!m_ok->isEnabled()) return;
  // Encoded for the places the present pair holds, as the next login will encode them.
  const NewCredentials typed{EncodeText(m_newId->text(), m_login.m_id),
                             EncodeText(m_newPassword->text(), m_login.m_password),
                             EncodeText(m_confirm->text(), m_login.m_password)};
  std::string path;
  {
    auto state = m_core.Lock();
    path = state->Doc().LoginConfigPath();
  }
  const ChangeOutcome outcome =
      ChangeCredentials(m_login, typed, [&path](const LoginCredentials& changed) {
        return WriteLoginFile(path, changed) ? std::string() : path;
      });
  if (outcome.verdict == ChangeVerdict::kMismatch) {
    m_newPassword->clear();
    m_confirm->clear();
  }
  if (outcome.verdict != ChangeVerdict::kChanged) {
    Tell(outcome.message);
    return;
  }
  {
    auto state = m_core.Lock();
    state->AppendHistory("Change ID and Password");
    state->SendAlarmMail(AlarmKind::kCredentialsChanged, state->SelectedAddress());
  }
  accept();
}

void CUserManager::reject() {
  Trace("cancel ~~~~~~~~~~~~~~~~~~");
  QDialog::reject();
}

void CUserManager::keyPressEvent(QKeyEvent* event) {
  if (!SwallowEnterAndEscape(event)) QDialog::keyPressEvent(event);
}

}  // namespace tarnex
