#pragma once

#include <QString>
#include <string>

#include "app/group_dialogs.h"
#include "console/pjlink_links.h"

namespace tarnex {

// "Add PJLink Display": the address of a PJLink display and its password, when it has one.
// OK closes only on a dotted IPv4 address and a password a display can take; otherwise the
// operator is told why and can type again.
class CAddPjlinkDlg : public GroupEditDialog {
 public:
  explicit CAddPjlinkDlg(MessagePresenter present, QWidget* parent = nullptr);

  // After OK: what was typed, the address without surrounding blanks.
  const std::string& Address() const { return m_address; }
  const std::string& Password() const { return m_password; }

  QLineEdit* AddressEdit() const { return m_addressEdit; }
  QLineEdit* PasswordEdit() const { return m_passwordEdit; }
  QPushButton* OkButton() const { return m_ok; }
  QPushButton* CancelButton() const { return m_cancel; }

 private:
  void OnOk();

  MessagePresenter m_present;
  QLineEdit* m_addressEdit = nullptr;
  QLineEdit* m_passwordEdit = nullptr;
  QPushButton* m_ok = nullptr;
  QPushButton* m_cancel = nullptr;
  std::string m_address;
  std::string m_password;
};

// "PJLink Password": the new password of the selected PJLink display; an empty one clears it.
class CPjlinkPasswordDlg : public GroupEditDialog {
 public:
  explicit CPjlinkPasswordDlg(MessagePresenter present, QWidget* parent = nullptr);

  const std::string& Password() const { return m_password; }

  QLineEdit* PasswordEdit() const { return m_passwordEdit; }
  QPushButton* OkButton() const { return m_ok; }
  QPushButton* CancelButton() const { return m_cancel; }

 private:
  MessagePresenter m_present;
  QLineEdit* m_passwordEdit = nullptr;
  QPushButton* m_ok = nullptr;
  QPushButton* m_cancel = nullptr;
  std::string m_password;
};

// What the operator is told once adding the display at `address` has ended; empty when there
// is nothing to tell (the console is closing).
QString PjlinkAddText(const PjlinkAddOutcome& outcome, const std::string& address);

}  // namespace tarnex
