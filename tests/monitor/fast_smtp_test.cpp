#include "monitor/smtp/fast_smtp.h"

#include <gtest/gtest.h>

#include <ctime>

namespace tarnex {
namespace {

std::time_t At(int year, int month, int day, int hour, int minute, int second) {
  std::tm utc{};
  utc.tm_year = year - 1900;
  utc.tm_mon = month - 1;
  utc.tm_mday = day;
  utc.tm_hour = hour;
  utc.tm_min = minute;
  utc.tm_sec = second;
  return timegm(&utc);
}

const AlarmSettings kSettings{.subject = "[Warning]Alarm Tarnex Manager",
                              .to = "ops@example.org",
                              .from = "console@example.org",
                              .server = "mail.example.org"};

// What a server receives for a fan alarm: an RFC 5322 date and sender, one recipient, the
// alarm's texts, and CR LF as every line end, the tail's line breaks included.
TEST(AlarmMailTest, AFanAlarmIsComposedWithCrLfAndAValidDateAndSender) {
  const AlarmComposition composed = ComposeAlarmMail(AlarmKind::kFanFault, "10.1.2.3", kSettings);
  ASSERT_TRUE(composed.mail) << composed.problem;
  const CFastSmtp& mail = *composed.mail;
  EXPECT_EQ(mail.FromAddress(), "console@example.org");
  ASSERT_EQ(mail.Recipients().size(), 1u);
  EXPECT_EQ(mail.Recipients()[0].Address(), "ops@example.org");
  EXPECT_EQ(mail.Message(At(2026, 12, 8, 10, 0, 0)),
            "Date: Tue, 08 Dec 2026 10:00:00 +0000\r\n"
            "From: Tarnex Manager Administrator <console@example.org>\r\n"
            "To: <ops@example.org>\r\n"
            "Cc: \r\n"
            "Subject: [Warning]Alarm Tarnex Manager\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-type: text/plain; charset=US-ASCII\r\n"
            "\r\n"
            "Monitor(IP : 10.1.2.3) Operation is Fault\r\n"
            "\r\n"
            "FAN is abnormal and this is for OUTGOING mail only\r\n");
}

TEST(AlarmMailTest, EachKindHasItsTexts) {
  EXPECT_EQ(AlarmTextOf(AlarmKind::kTest, "test").body,
            "This mail is test mail and this is for OUTGOING mail only");
  EXPECT_EQ(AlarmTextOf(AlarmKind::kCredentialsChanged, "").body,
            "ID or Password is changed and this is for OUTGOING mail only");
  const AlarmText link = AlarmTextOf(AlarmKind::kLinkFault, "10.0.0.5");
  EXPECT_EQ(link.body, "Monitor(IP : 10.0.0.5) Operation is Fault");
  EXPECT_EQ(link.tail, "\n\nNetwork is not connected and this is for OUTGOING mail only");
  EXPECT_EQ(AlarmTextOf(AlarmKind::kTest, "test").tail, "");
  EXPECT_EQ(MailDate(At(2027, 1, 3, 7, 5, 9)), "Sun, 03 Jan 2027 07:05:09 +0000");
}

// Nothing is composed that the operator has to be told about, nor anything a hand-edited
// setting could turn into extra header lines or SMTP commands.
TEST(AlarmMailTest, MissingOrUnsafeSettingsComposeNoMail) {
  AlarmSettings settings = kSettings;
  settings.server.clear();
  EXPECT_EQ(ComposeAlarmMail(AlarmKind::kTest, "test", settings).problem, "Put Server Name");
  settings = kSettings;
  settings.to.clear();
  EXPECT_EQ(ComposeAlarmMail(AlarmKind::kTest, "test", settings).problem, "Put Receiver Name");
  for (const std::string& bad :
       {std::string("Alarm\r\nBcc: all@example.org"), std::string("A\0B", 3)}) {
    settings = kSettings;
    settings.subject = bad;
    EXPECT_FALSE(ComposeAlarmMail(AlarmKind::kTest, "test", settings).mail);
    settings = kSettings;
    settings.to = bad;
    EXPECT_FALSE(ComposeAlarmMail(AlarmKind::kTest, "test", settings).mail);
  }
}

// TO and FROM reach the envelope as they stand: only one bare mailbox may pass, or a setting
// could add ESMTP parameters to MAIL FROM or recipients to the mail.
TEST(AlarmMailTest, AnAddressIsOneMailboxOrNoMail) {
  for (const char* good : {"ops@example.org", "a.b+alarm@mail.example.org", "x@[127.0.0.1]"}) {
    EXPECT_TRUE(IsMailAddress(good)) << good;
  }
  for (const char* bad :
       {"a@b> SIZE=1 BODY=8BITMIME", "ops@example.org>,<all@example.org", "<ops@example.org>",
        "ops@example.org, all@example.org", "Ops <ops@example.org>", "ops @example.org",
        "ops@example.org\t", "ops", "@example.org", "ops@", "a@b@c", "\"a\"@b", "caf\xc3\xa9@b"}) {
    EXPECT_FALSE(IsMailAddress(bad)) << bad;
    AlarmSettings settings = kSettings;
    settings.from = bad;
    AlarmComposition composed = ComposeAlarmMail(AlarmKind::kFanFault, "10.1.2.3", settings);
    EXPECT_FALSE(composed.mail) << bad;
    EXPECT_EQ(composed.problem, "FROM must be one mail address, as name@domain.");
    settings = kSettings;
    settings.to = bad;
    composed = ComposeAlarmMail(AlarmKind::kFanFault, "10.1.2.3", settings);
    EXPECT_EQ(composed.problem, "TO must be one mail address, as name@domain.");
  }
}

TEST(AlarmMailTest, ASubjectBeyondAsciiTravelsAsAnEncodedWord) {
  EXPECT_EQ(HeaderSubject("Alarm"), "Alarm");
  EXPECT_EQ(HeaderSubject("Caf\xc3\xa9"), "=?UTF-8?B?Q2Fmw6k=?=");
  EXPECT_EQ(HeaderSubject("ab"), "ab");
}

}  // namespace
}  // namespace tarnex
