#pragma once

#include <QDialog>

#include "app/operator_messages.h"
#include "config/login_file.h"
#include "console/console_core.h"

class QLineEdit;
class QPushButton;

namespace tarnex {

// "Security Manager": the operator proves the present login with Set, then gives the new one.
// The new pair is written to the login file at OK, before anything else changes, so that a
// crash cannot bring the old pair back; then the history line and the alarm mail follow.
// UI thread; the login file is small and owner-only, the only disk write made here.
class CUserManager : public QDialog {
 public:
  // `login` is the application's, replaced on a change.
  CUserManager(CConsoleCore& core, LoginCredentials& login, MessagePresenter present,
               QWidget* parent = nullptr);

  QLineEdit* CurrentIdEdit() const { return m_currentId; }
  QLineEdit* CurrentPasswordEdit() const { return m_currentPassword; }
  QPushButton* SetButton() const { return m_set; }
  QLineEdit* NewIdEdit() const { return m_newId; }
  QLineEdit* NewPasswordEdit() const { return m_newPassword; }
  QLineEdit* ConfirmEdit() const { return m_confirm; }
  QPushButton* OkButton() const { return m_ok; }
  QPushButton* CancelButton() const { return m_cancel; }

  void OnSet();
  void OnOK();
  // Cancel, and the window's close button.
  void reject() override;

 protected:
  // Enter and Escape do nothing: the dialog closes only through OK or Cancel.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildLayout();
  void Tell(const std::string& text);

  CConsoleCore& m_core;
  LoginCredentials& m_login;
  MessagePresenter m_present;

  QLineEdit* m_currentId = nullptr;
  QLineEdit* m_currentPassword = nullptr;
  QPushButton* m_set = nullptr;
  QLineEdit* m_newId = nullptr;
  QLineEdit* m_newPassword = nullptr;
  QLineEdit* m_confirm = nullptr;
  QPushButton* m_ok = nullptr;
  QPushButton* m_cancel = nullptr;
};

}  // namespace tarnex
