#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "app/operator_messages.h"
#include "console/console_core.h"
#include "monitor/alarm_queue.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarnex {

// The "Alarm" dialog: the subject, recipient, sender and SMTP server of the alarm mails, the
// server's account when it wants one, and a test mail. Each edit goes to the document at once, so
// an alarm raised while the dialog is open already uses it; Cancel puts back what was stored at
// opening, OK writes the "Alarm" section to disk.
//
// UI thread. The document is changed under the console lock and written from a copy after the
// lock is let go; the test mail is sent by the alarm queue's worker, so the window never waits
// for a mail server.
class CAlarmDlg : public QDialog {
 public:
  static constexpr const char* kDefaultSubject = "[Warning]Alarm Tarnex Manager";

  // `present` tells a failed write.
  CAlarmDlg(CConsoleCore& core, AlarmQueue& alarms, MessagePresenter present,
            QWidget* parent = nullptr);

  QLineEdit* SubjectEdit() const { return m_subject; }
  QLineEdit* ToEdit() const { return m_to; }
  QLineEdit* FromEdit() const { return m_from; }
  QLineEdit* ServerEdit() const { return m_server; }
  QLineEdit* UserEdit() const { return m_user; }
  QLineEdit* PasswordEdit() const { return m_password; }
  // "if offered", "required", "never": how the mail goes; until the operator picks one, the
  // account's default shows and nothing is stored.
  QComboBox* EncryptionBox() const { return m_encryption; }
  QPushButton* OkButton() const { return m_ok; }
  QPushButton* CancelButton() const { return m_cancel; }
  QPushButton* TestButton() const { return m_test; }

  void OnOK();
  void OnTest();
  // Cancel, and the window's close button.
  void reject() override;

 protected:
  // Enter and Escape do nothing: the dialog closes only through OK or Cancel.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildLayout();
  // Each box and the document setting it edits; `address` names a box that holds one mail
  // address.
  struct Box {
    QLineEdit* edit;
    std::string COsprelNetworkManagerDoc::*field;
    std::string* open;
    const char* address = nullptr;
  };
  std::array<Box, 6> Boxes();
  void Store(const Box& box);
  // Why the address boxes cannot be used, told to the operator with the box focused; false
  // when they can.
  bool RefuseBadAddress();

  CConsoleCore& m_core;
  AlarmQueue& m_alarms;
  MessagePresenter m_present;
  // The settings at opening, for Cancel.
  std::string m_openSubject;
  std::string m_openTo;
  std::string m_openFrom;
  std::string m_openServer;
  std::string m_openUser;
  std::string m_openPassword;
  std::string m_openEncryption;

  QLineEdit* m_subject = nullptr;
  QLineEdit* m_to = nullptr;
  QLineEdit* m_from = nullptr;
  QLineEdit* m_server = nullptr;
  QLineEdit* m_user = nullptr;
  QLineEdit* m_password = nullptr;
  QComboBox* m_encryption = nullptr;
  QPushButton* m_ok = nullptr;
  QPushButton* m_cancel = nullptr;
  QPushButton* m_test = nullptr;
};

}  // namespace tarnex
