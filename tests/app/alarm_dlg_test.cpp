// The Alarm dialog on a console core, offscreen, and the alarm mails its queue sends: real and
// scripted mail servers on loopback.
#include "app/alarm_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/login_file.h"
#include "console/console_core.h"
#include "monitor/alarm_mail.h"
#include "platform/private_profile.h"
#include "platform/scratch_folder.h"
#include "support/mail_console.h"
#include "support/mail_server.h"
#include "support/recording_ui_host.h"
#include "support/scripted_smtp_server.h"

namespace tarnex {
namespace {

using testing::MailServer;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The dialog on a console whose alarm mails go out through the console's own sender.
class AlarmDlgTest : public ::testing::Test, public testing::MailConsole {
 protected:
  std::unique_ptr<CAlarmDlg> Open() {
    return std::make_unique<CAlarmDlg>(core, alarms, [this](QWidget*, const QString& text) {
      boxes.push_back(text.toStdString());
    });
  }
  std::vector<std::string> Alarm() {
    auto state = core.Lock();
    const COsprelNetworkManagerDoc& d = state->Doc();
    return {d.m_docAlarmSubject, d.m_docAlarmTo, d.m_docAlarmFrom, d.m_docAlarmServer};
  }
  MailLogin Account() {
    auto state = core.Lock();
    return {state->Doc().m_docAlarmUser, state->Doc().m_docAlarmPassword};
  }
  std::string Stored(const char* key) {
    char buffer[256];
    GetPrivateProfileStringA("Alarm", key, "<none>", buffer, sizeof buffer,
                             doc.NetworkConfigPath().c_str());
    return buffer;
  }
  // Presses TEST and waits for the button to come back; the verdicts told so far.
  std::vector<std::string> Test(CAlarmDlg& dialog) {
    QTest::mouseClick(dialog.TestButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.TestButton()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.TestButton()->isEnabled(); }, 20000));
    return ui.Messages();
  }

  std::vector<std::string> boxes;
};

TEST_F(AlarmDlgTest, EditsGoToTheDocumentCancelRestoresAndOkWritesTheSection) {
  {
    auto dialog = Open();
    EXPECT_EQ(dialog->SubjectEdit()->text(), "[Warning]Alarm Tarnex Manager");
    EXPECT_EQ(Alarm()[0], "");  // shown, not yet a setting
    for (QWidget* box :
         std::vector<QWidget*>{dialog->SubjectEdit(), dialog->ToEdit(), dialog->FromEdit(),
                               dialog->ServerEdit(), dialog->UserEdit(), dialog->PasswordEdit()}) {
      EXPECT_FALSE(box->accessibleName().isEmpty());
    }
    EXPECT_EQ(dialog->PasswordEdit()->echoMode(), QLineEdit::Password);
    QTest::keyClicks(dialog->ToEdit(), "ops@example.org");
    QTest::keyClicks(dialog->UserEdit(), "relay");
    EXPECT_EQ(Alarm()[1], "ops@example.org");
    EXPECT_EQ(Account().m_user, "relay");
    QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    EXPECT_EQ(Alarm(), (std::vector<std::string>{"", "", "", ""}));
    EXPECT_EQ(Account(), MailLogin{});
  }
  SetAlarm("Fleet", "a@example.org", "b@example.org", "127.0.0.1:2525");
  {
    auto dialog = Open();
    EXPECT_EQ(dialog->SubjectEdit()->text(), "Fleet");
    dialog->ServerEdit()->clear();
    QTest::keyClicks(dialog->ServerEdit(), "127.0.0.2");
    QTest::keyClicks(dialog->UserEdit(), "relay");
    QTest::keyClicks(dialog->PasswordEdit(), "s3cret");
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
  }
  EXPECT_EQ(Alarm(),
            (std::vector<std::string>{"Fleet", "a@example.org", "b@example.org", "127.0.0.2"}));
  EXPECT_EQ(Stored("Subject"), "Fleet");
  EXPECT_EQ(Stored("TO"), "a@example.org");
  EXPECT_EQ(Stored("FROM"), "b@example.org");
  EXPECT_EQ(Stored("SMTPServer"), "127.0.0.2");
  // The account goes to the owner-only login file, never to the shared configuration.
  EXPECT_EQ(ReadMailLogin(doc.LoginConfigPath()), (MailLogin{"relay", "s3cret"}));
  EXPECT_EQ(ReadFile(doc.NetworkConfigPath()).find("s3cret"), std::string::npos);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(AlarmDlgTest, OkWithTheDefaultSubjectStoresItAndAFailedWriteIsTold) {
  auto dialog = Open();
  // A folder where the file should be: no write succeeds, not even root's.
  std::filesystem::remove(doc.NetworkConfigPath());
  std::filesystem::create_directory(doc.NetworkConfigPath());
  QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
  EXPECT_EQ(Alarm()[0], "[Warning]Alarm Tarnex Manager");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("could not be saved to " + doc.NetworkConfigPath()), std::string::npos)
      << boxes[0];
  std::filesystem::remove(doc.NetworkConfigPath());
}

// An address box takes one mailbox: OK and TEST refuse anything else with the box named, and
// the document keeps its last usable address, so the close has nothing to refuse.
TEST_F(AlarmDlgTest, AnAddressThatIsNotOneMailboxIsRefusedByName) {
  SetAlarm("Fleet", "ops@example.org", "console@example.org", "127.0.0.1:2525");
  auto dialog = Open();
  dialog->FromEdit()->selectAll();
  QTest::keyClicks(dialog->FromEdit(), "a@b> SIZE=1 BODY=8BITMIME");
  QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
  dialog->ToEdit()->selectAll();
  dialog->ToEdit()->insert(QStringLiteral("ops@example.org\r\nBcc: all@example.org"));
  dialog->FromEdit()->selectAll();
  QTest::keyClicks(dialog->FromEdit(), "console@example.org");
  QTest::mouseClick(dialog->TestButton(), Qt::LeftButton);
  QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
  EXPECT_EQ(boxes, (std::vector<std::string>{"FROM must be one mail address, as name@domain.",
                                             "TO must be one mail address, as name@domain.",
                                             "TO must be one mail address, as name@domain."}));
  EXPECT_NE(dialog->result(), QDialog::Accepted);
  EXPECT_TRUE(dialog->TestButton()->isEnabled());  // no test mail went
  EXPECT_EQ(Alarm()[1], "ops@example.org");
  QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
  EXPECT_TRUE(doc.WriteAlarmSettings());
  EXPECT_TRUE(doc.FailedFiles().empty());
}

// Each way a test mail can go gives the operator exactly one verdict, while the dialog stays
// open and live.
TEST_F(AlarmDlgTest, TheTestMailTellsHowItWent) {
  MailServer real;
  ASSERT_FALSE(real.Address().empty());
  auto dialog = Open();
  SetAlarm("", "ops@example.org", "console@example.org", real.Address());
  EXPECT_EQ(Test(*dialog).back(), "Test is Successful!");
  EXPECT_TRUE(dialog->isEnabled());
  EXPECT_EQ(Alarm()[0], "[Warning]Alarm Tarnex Manager");  // TEST takes the subject box
  EXPECT_NE(real.Mail(1).find("This mail is test mail"), std::string::npos);

  SetAlarm("s", "ops@example.org", "console@example.org", "");
  EXPECT_EQ(Test(*dialog).back(), "Put Server Name");
  SetAlarm("s", "", "console@example.org", real.Address());
  EXPECT_EQ(Test(*dialog).back(), "Put Receiver Name");
  {
    testing::ScriptedSmtpServer refusing(
        "220 ready\r\n", {"250 hello\r\n", "250 sender ok\r\n", "550 No such user\r\n",
                          "221 bye\r\n", "221 bye\r\n"});
    SetAlarm("s", "ops@example.org", "console@example.org", refusing.Server());
    EXPECT_EQ(Test(*dialog).back(), "Mail was not accepted at RCPT TO: 550 No such user");
  }
  {
    testing::ScriptedSmtpServer silent("", {});
    SetAlarm("s", "ops@example.org", "console@example.org", silent.Server());
    EXPECT_EQ(Test(*dialog).back(), "Mail was not sent: no answer from the mail server within 2 s");
  }
  {
    // A server that has nothing to say of STARTTLS gets no password.
    testing::ScriptedSmtpServer plain("220 ready\r\n", {"250 hello\r\n"});
    SetAlarm("s", "ops@example.org", "console@example.org", plain.Server());
    {
      auto state = core.Lock();
      state->Doc().m_docAlarmUser = "relay";
    }
    EXPECT_EQ(Test(*dialog).back(),
              "Mail was not sent: STARTTLS is required, and the mail server does not offer it");
    auto state = core.Lock();
    state->Doc().m_docAlarmUser.clear();
  }
  {
    // A port nobody listens on: the connection is refused.
    std::string closed;
    {
      testing::ScriptedSmtpServer gone("", {});
      closed = gone.Server();
    }
    SetAlarm("s", "ops@example.org", "console@example.org", closed);
    EXPECT_EQ(Test(*dialog).back(), "Put Server Name");
    // The server is tried first, as the mail client does: its fault is told before the
    // recipient's.
    SetAlarm("s", "", "console@example.org", closed);
    EXPECT_EQ(Test(*dialog).back(), "Put Server Name");
  }
  {
    // A venue's relay with a certificate of its own, and no account: the mail goes.
    MailServer relay({.tls = true, .auth = ""});
    SetAlarm("s", "ops@example.org", "console@example.org", relay.Address());
    EXPECT_EQ(Test(*dialog).back(), "Test is Successful!");
    dialog->EncryptionBox()->setCurrentIndex(2);
    emit dialog->EncryptionBox()->activated(2);
    EXPECT_EQ(Test(*dialog).back(),
              "Mail was not accepted at MAIL FROM: 530 Must issue a STARTTLS command first");
  }
  EXPECT_EQ(ui.Messages().size(), 10u);
  EXPECT_TRUE(History().empty());  // a test mail is the operator's, not an alarm
}

// Against a relay that refuses every mail, each alarm leaves a history line that names it and
// says why, the console shows that alarm mails fail, and the alarms are tried again; the
// first that goes clears the state.
TEST_F(AlarmDlgTest, AFailedAlarmIsRecordedAndTriedAgain) {
  // Without a server or a recipient nobody asked for alarm mails: nothing fails.
  SetAlarm("Fleet", "", "console@example.org", "127.0.0.1:1");
  alarms.Enqueue(AlarmKind::kLinkFault, "10.0.0.4");
  ASSERT_TRUE(alarms.WaitIdle(std::chrono::seconds(20)));
  EXPECT_TRUE(History().empty());
  EXPECT_FALSE(failing);

  testing::ScriptedSmtpServer refusing("220 ready\r\n",
                                       {"250 hello\r\n", "550 relaying denied\r\n", "221 bye\r\n"});
  SetAlarm("Fleet", "ops@example.org", "console@example.org", refusing.Server());
  alarms.SetRetryDelays({std::chrono::hours(1)});
  alarms.Enqueue(AlarmKind::kFanFault, "10.0.0.5");
  ASSERT_TRUE(alarms.WaitIdle(std::chrono::seconds(20)));
  const std::vector<std::string> lines = History();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("10.0.0.5"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("Fan Alarm Mail Failed: refused: 550 relaying denied\r\n"),
            std::string::npos)
      << lines[0];
  EXPECT_TRUE(failing);
  const std::vector<QueuedAlarm> left = alarms.Stop();
  ASSERT_EQ(left.size(), 1u);  // waiting for its retry
  EXPECT_EQ(left[0].attempts, 1);
  EXPECT_TRUE(ui.Messages().empty());
}

// Alarms raised at once go out one after another, each whole, in the order raised.
TEST_F(AlarmDlgTest, TwentyAlarmsArriveWholeAndInOrder) {
  MailServer real;
  ASSERT_FALSE(real.Address().empty());
  SetAlarm("Fleet", "ops@example.org", "console@example.org", real.Address());
  for (int n = 1; n <= 20; ++n)
    alarms.Enqueue(AlarmKind::kLinkFault, "10.0.0." + std::to_string(n));
  ASSERT_TRUE(alarms.WaitIdle(std::chrono::seconds(60)));
  for (int n = 1; n <= 20; ++n) {
    const std::string mail = real.Mail(n);
    EXPECT_NE(mail.find("Monitor(IP : 10.0.0." + std::to_string(n) + ") Operation is Fault\r\n"),
              std::string::npos)
        << n;
    EXPECT_NE(mail.find("Network is not connected and this is for OUTGOING mail only\r\n"),
              std::string::npos)
        << n;
  }
  EXPECT_TRUE(real.Mail(21).empty());
  EXPECT_TRUE(ui.Messages().empty());  // failed or not, an alarm is never told
}

}  // namespace
}  // namespace tarnex
