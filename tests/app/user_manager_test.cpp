// The Security Manager on a console core, offscreen: proving the present login, refusing new
// pairs that could not be used, and what a change leaves behind (the login file, the history
// line, the mail).
#include "app/user_manager.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/login_check.h"
#include "support/mail_console.h"
#include "support/mail_server.h"

namespace tarnex {
namespace {

class UserManagerTest : public ::testing::Test, public testing::MailConsole {
 protected:
  UserManagerTest() {
    core.SetHistoryWriter([this](const std::vector<HistoryLine>& lines) {
      std::lock_guard lock(historyMutex);
      for (const HistoryLine& line : lines) history.push_back(line.text);
    });
    dialog = std::make_unique<CUserManager>(core, login, [this](QWidget*, const QString& text) {
      boxes.push_back(text.toStdString());
    });
  }

  void Type(QLineEdit* edit, const char* text) {
    edit->clear();
    QTest::keyClicks(edit, text);
  }
  void Set(const char* id, const char* password) {
    Type(dialog->CurrentIdEdit(), id);
    Type(dialog->CurrentPasswordEdit(), password);
    QTest::mouseClick(dialog->SetButton(), Qt::LeftButton);
  }
  void Ok(const char* id, const char* password, const char* confirmation) {
    Type(dialog->NewIdEdit(), id);
    Type(dialog->NewPasswordEdit(), password);
    Type(dialog->ConfirmEdit(), confirmation);
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
  }
  bool Unlocked() const {
    return dialog->NewIdEdit()->isEnabled() && dialog->NewPasswordEdit()->isEnabled() &&
           dialog->ConfirmEdit()->isEnabled() && dialog->OkButton()->isEnabled();
  }
  std::vector<std::string> History() {
    core.FlushHistory();
    std::lock_guard lock(historyMutex);
    return history;
  }

  LoginCredentials login{"Administrator", "5378"};
  std::unique_ptr<CUserManager> dialog;
  std::vector<std::string> boxes;
  std::mutex historyMutex;
  std::vector<std::string> history;
};

TEST_F(UserManagerTest, SetMustProveThePresentLoginExactly) {
  EXPECT_FALSE(dialog->NewIdEdit()->isEnabled());
  EXPECT_FALSE(dialog->OkButton()->isEnabled());
  dialog->OnOK();  // not available before Set
  EXPECT_TRUE(boxes.empty());
  for (QWidget* field : std::vector<QWidget*>{dialog->CurrentIdEdit(),
                                              dialog->CurrentPasswordEdit(), dialog->NewIdEdit(),
                                              dialog->NewPasswordEdit(), dialog->ConfirmEdit()}) {
    EXPECT_FALSE(field->accessibleName().isEmpty());
  }
  EXPECT_EQ(dialog->CurrentPasswordEdit()->echoMode(), QLineEdit::Password);

  struct Attempt {
    const char* id;
    const char* password;
    const char* told;
  };
  for (const Attempt& attempt : {Attempt{"Administrator", "5379", "Error Password"},
                                 Attempt{"administrator", "5378", "Error ID"},
                                 Attempt{"ADMINISTRATOR", "", "Error ID and Password"}}) {
    Set(attempt.id, attempt.password);
    EXPECT_EQ(boxes.back(), attempt.told);
    EXPECT_FALSE(Unlocked());
  }
  Set("Administrator", "5378");
  EXPECT_TRUE(Unlocked());
  EXPECT_EQ(boxes.size(), 3u);
}

TEST_F(UserManagerTest, ANewPairThatCouldNotBeUsedIsRefusedAndNothingChanges) {
  Set("Administrator", "5378");
  Ok("Operator", "Secret", "secret");  // differs by letter case
  EXPECT_EQ(boxes.back(), "Please check Password and Confirm Password");
  EXPECT_TRUE(dialog->NewPasswordEdit()->text().isEmpty());
  EXPECT_TRUE(dialog->ConfirmEdit()->text().isEmpty());
  EXPECT_EQ(dialog->NewIdEdit()->text(), "Operator");

  Ok("Operator", "", "");
  EXPECT_EQ(boxes.back(), "Please enter a new ID and Password");

  // A folder in the login file's place: nothing can be written there, whoever runs the test.
  std::filesystem::create_directory(doc.LoginConfigPath());
  Ok("Operator", "pw", "pw");
  EXPECT_EQ(boxes.back(), "The new ID and Password could not be saved to " + doc.LoginConfigPath());
  std::filesystem::remove(doc.LoginConfigPath());

  EXPECT_EQ(login, (LoginCredentials{"Administrator", "5378"}));
  EXPECT_TRUE(History().empty());
  EXPECT_EQ(dialog->result(), 0);
  EXPECT_TRUE(dialog->isEnabled());
}

// The change is on disk before the dialog closes, the history says so, and the administrator
// is mailed.
TEST_F(UserManagerTest, AChangeIsStoredRecordedAndMailed) {
  testing::MailServer server;
  ASSERT_FALSE(server.Address().empty());
  SetAlarm("Fleet", "ops@example.org", "console@example.org", server.Address());
  Set("Administrator", "5378");
  Ok("Operator 7", "n3w!", "n3w!");
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(login, (LoginCredentials{"Operator 7", "n3w!"}));

  const std::optional<LoginCredentials> stored = ReadLoginFile(doc.LoginConfigPath());
  ASSERT_TRUE(stored);
  EXPECT_EQ(CheckLogin(*stored, "Operator 7", "n3w!"), LoginVerdict::kAccepted);
  EXPECT_NE(CheckLogin(*stored, "Administrator", "5378"), LoginVerdict::kAccepted);

  const std::vector<std::string> lines = History();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("Change ID and Password"), std::string::npos);
  ASSERT_TRUE(alarms.WaitIdle(std::chrono::seconds(30)));
  EXPECT_NE(server.Mail(1).find("ID or Password is changed and this is for OUTGOING mail only"),
            std::string::npos);
}

}  // namespace
}  // namespace tarnex
