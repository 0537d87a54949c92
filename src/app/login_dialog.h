#pragma once

#include <QDialog>

#include "app/operator_messages.h"
#include "config/login_file.h"

class QLineEdit;
class QPushButton;

namespace tarnex {

// The login asked before anything of the device side starts. A wrong ID or password is told
// and the dialog stays for another try, as often as the operator likes; Cancel ends the start.
class CLoginDlg : public QDialog {
 public:
  CLoginDlg(LoginCredentials stored, MessagePresenter presenter, QWidget* parent = nullptr);

  // 1 until an attempt was accepted; 1 again after Cancel.
  int ResultFlag() const { return m_result; }
  // Horizontal logical DPI of the screen the dialog was painted on; 0 before it was painted.
  int MeasuredDpi() const { return m_dpi; }

  QLineEdit* IdEdit() const { return m_idEdit; }
  QLineEdit* PasswordEdit() const { return m_passwordEdit; }
  QPushButton* OkButton() const { return m_okButton; }
  QPushButton* CancelButton() const { return m_cancelButton; }

  // OK: checks the typed pair against the stored one.
  void OnOK();
  void reject() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void BuildLayout();

  LoginCredentials m_stored;
  MessagePresenter m_presenter;
  int m_result = 1;
  int m_dpi = 0;
  QLineEdit* m_idEdit = nullptr;
  QLineEdit* m_passwordEdit = nullptr;
  QPushButton* m_okButton = nullptr;
  QPushButton* m_cancelButton = nullptr;
};

}  // namespace tarnex
