#include "app/login_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/legacy_text.h"
#include "app/login_check.h"
#include "platform/trace.h"

namespace tarnex {

CLoginDlg::CLoginDlg(LoginCredentials stored, MessagePresenter presenter, QWidget* parent)
    : QDialog(parent), m_stored(std::move(stored)), m_presenter(std::move(presenter)) {
  setWindowTitle(QStringLiteral("Login"));
  BuildLayout();
  connect(m_okButton, &QPushButton::clicked, this, &CLoginDlg::OnOK);
  connect(m_cancelButton, &QPushButton::clicked, this, &CLoginDlg::reject);
}

void CLoginDlg::BuildLayout() {
  m_idEdit = new QLineEdit(this);
  m_passwordEdit = new QLineEdit(this);
  m_passwordEdit->setEchoMode(QLineEdit::Password);
  m_okButton = new QPushButton(QStringLiteral("OK"), this);
  m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  // Enter in either edit is OK, as the operator expects of a login box.
  m_okButton->setDefault(true);

  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("ID"), m_idEdit);
  fields->addRow(QStringLiteral("Password"), m_passwordEdit);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_okButton);
  buttons->addWidget(m_cancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
}

void CLoginDlg::OnOK() {
  m_result = 0;
  // Each typed text in the form its stored counterpart was written in, so that the bytes
  // compare as the operator reads them, a code-page password from an older file included.
  const std::string id = EncodeText(m_idEdit->text(), m_stored.m_id);
  const std::string password = EncodeText(m_passwordEdit->text(), m_stored.m_password);
  const LoginVerdict verdict = CheckLogin(m_stored, id, password);
  if (verdict == LoginVerdict::kAccepted) {
    accept();
    return;
  }
  m_result = 1;
  m_presenter(this, QString::fromLatin1(LoginErrorText(verdict)));
}

void CLoginDlg::reject() {
  m_result = 1;
  QDialog::reject();
}

void CLoginDlg::paintEvent(QPaintEvent* event) {
  m_dpi = logicalDpiX();
  Trace("dpi : %d", m_dpi);
  QDialog::paintEvent(event);
}

}  // namespace tarnex
