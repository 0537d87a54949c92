#include "app/pjlink_dialogs.h"

#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "config/pjlink_passwords.h"
#include "links/ip_address.h"

namespace tarnex {
namespace {

// PJLink hashes the password as ASCII, and a display takes at most 32 characters of it.
QString PasswordProblem(const QString& password) {
  const bool printable = std::all_of(password.begin(), password.end(), [](QChar c) {
    return c.unicode() >= 0x20 && c.unicode() < 0x7f;
  });
  if (printable && static_cast<size_t>(password.size()) <= kMaxPjlinkPasswordChars) return {};
  return QStringLiteral("The password may hold up to %1 letters, digits and ASCII signs")
      .arg(kMaxPjlinkPasswordChars);
}

// Typed passwords are not shown; the edit refuses more than a display takes.
void HidePassword(QLineEdit* edit) {
  edit->setEchoMode(QLineEdit::Password);
  edit->setMaxLength(static_cast<int>(kMaxPjlinkPasswordChars));
}

QString Text(const std::string& bytes) {
  return QString::fromStdString(bytes);
}

}  // namespace

CAddPjlinkDlg::CAddPjlinkDlg(MessagePresenter present, QWidget* parent)
    : GroupEditDialog(parent), m_present(std::move(present)) {
  setWindowTitle(QStringLiteral("Add PJLink Display"));
  auto* layout = new QVBoxLayout(this);
  m_addressEdit = AddEdit(layout, QStringLiteral("IP Address"), "addressEdit", this);
  m_passwordEdit = AddEdit(layout, QStringLiteral("Password (optional)"), "passwordEdit", this);
  HidePassword(m_passwordEdit);
  m_ok = MakeButton(QStringLiteral("OK"), "okButton", this);
  m_cancel = MakeButton(QStringLiteral("Cancel"), "cancelButton", this);
  AddButtons(layout, m_ok, m_cancel);
  connect(m_ok, &QPushButton::clicked, this, &CAddPjlinkDlg::OnOk);
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CAddPjlinkDlg::OnOk() {
  const std::string address = m_addressEdit->text().trimmed().toStdString();
  QString problem = PasswordProblem(m_passwordEdit->text());
  if (!IsDottedIPv4(address)) {
    problem = QStringLiteral("Please enter an IPv4 address such as 192.168.0.10");
  }
  if (!problem.isEmpty()) {
    if (m_present) m_present(this, problem);
    return;
  }
  m_address = address;
  m_password = m_passwordEdit->text().toStdString();
  accept();
}

CPjlinkPasswordDlg::CPjlinkPasswordDlg(MessagePresenter present, QWidget* parent)
    : GroupEditDialog(parent), m_present(std::move(present)) {
  setWindowTitle(QStringLiteral("PJLink Password"));
  auto* layout = new QVBoxLayout(this);
  m_passwordEdit = AddEdit(layout, QStringLiteral("Password"), "passwordEdit", this);
  HidePassword(m_passwordEdit);
  m_ok = MakeButton(QStringLiteral("OK"), "okButton", this);
  m_cancel = MakeButton(QStringLiteral("Cancel"), "cancelButton", this);
  AddButtons(layout, m_ok, m_cancel);
  connect(m_ok, &QPushButton::clicked, this, [this] {
    const QString problem = PasswordProblem(m_passwordEdit->text());
    if (!problem.isEmpty()) {
      if (m_present) m_present(this, problem);
      return;
    }
    m_password = m_passwordEdit->text().toStdString();
    accept();
  });
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString PjlinkAddText(const PjlinkAddOutcome& outcome, const std::string& address) {
  using Result = PjlinkAddOutcome::Result;
  const QString at = Text(address);
  switch (outcome.result) {
    case Result::kNative:
      return QStringLiteral("%1 is already listed as a native display").arg(at);
    case Result::kBadAddress:
      return QStringLiteral("%1 is not an IPv4 address").arg(at);
    case Result::kFull:
      return QStringLiteral("The display table is full: %1 was not added").arg(at);
    case Result::kCancelled:
      return {};
    case Result::kAdded:
    case Result::kUpdated:
      break;
  }
  const QString done =
      outcome.result == Result::kAdded ? QStringLiteral("added") : QStringLiteral("updated");
  if (outcome.authFailed) return QStringLiteral("%1 %2: Password rejected").arg(at, done);
  if (!outcome.connected) return QStringLiteral("%1 %2, but it is not reachable").arg(at, done);
  QString text =
      QStringLiteral("%1 %2 and connected: PJLink class %3").arg(at, done).arg(outcome.linkClass);
  if (!outcome.name.empty()) text += QStringLiteral(", name \"%1\"").arg(Text(outcome.name));
  return text;
}

}  // namespace tarnex
