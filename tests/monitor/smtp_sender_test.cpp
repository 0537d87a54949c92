// The alarm mail on the wire: a real SMTP server takes it whole, and a scripted one plays the
// faults a mail server can make.
#include "monitor/smtp/smtp_sender.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/loopback_block.h"
#include "support/mail_server.h"
#include "support/scripted_smtp_server.h"
#include "support/stalled_resolver.h"

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;

AlarmSettings Settings(const std::string& server) {
  return {.subject = "[Warning]Alarm Tarnex Manager",
          .to = "ops@example.org",
          .from = "console@example.org",
          .server = server};
}

// Every line feed of the text ends a CR LF.
bool CrLfOnly(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

TEST(SmtpSenderTest, AlarmsArriveWholeAtARealServer) {
  testing::MailServer server;
  ASSERT_FALSE(server.Address().empty());
  for (AlarmKind kind : {AlarmKind::kLinkFault, AlarmKind::kFanFault}) {
    const AlarmComposition composed =
        ComposeAlarmMail(kind, "10.0.0.5", Settings(server.Address()));
    ASSERT_TRUE(composed.mail);
    const SmtpOutcome outcome = SendMail(*composed.mail, server.Address(), {});
    EXPECT_TRUE(outcome.sent) << outcome.error << " " << outcome.reply;
    EXPECT_EQ(outcome.code, 250);
  }
  const std::string link = server.Mail(1);
  const std::string fan = server.Mail(2);
  EXPECT_NE(link.find("X-Envelope-From: console@example.org\r\nX-Envelope-To: ops@example.org\r\n"),
            std::string::npos);
  EXPECT_NE(link.find("\r\nFrom: Tarnex Manager Administrator <console@example.org>\r\n"
                      "To: <ops@example.org>\r\nCc: \r\n"
                      "Subject: [Warning]Alarm Tarnex Manager\r\n"),
            std::string::npos);
  EXPECT_NE(link.find("\r\n\r\nMonitor(IP : 10.0.0.5) Operation is Fault\r\n\r\n"
                      "Network is not connected and this is for OUTGOING mail only\r\n"),
            std::string::npos);
  EXPECT_NE(fan.find("\r\n\r\nFAN is abnormal and this is for OUTGOING mail only\r\n"),
            std::string::npos);
  EXPECT_NE(link.find("\r\nDate: "), std::string::npos);
  EXPECT_TRUE(CrLfOnly(link));
  EXPECT_TRUE(CrLfOnly(fan));
}

// With an account the mail goes only over STARTTLS, with a certificate the console trusts, and
// only with the right password.
TEST(SmtpSenderTest, AnAccountSendsOverStartTlsWithAuth) {
  testing::MailServer server({.tls = true, .auth = "relay:s3cret"});
  ASSERT_FALSE(server.Address().empty());
  const AlarmComposition composed =
      ComposeAlarmMail(AlarmKind::kFanFault, "10.0.0.5", Settings(server.Address()));
  SmtpOptions trusting;
  trusting.caFile = server.CaFile();
  SmtpOutcome outcome = SendMail(*composed.mail, server.Address(), trusting, {"relay", "s3cret"});
  EXPECT_TRUE(outcome.sent) << outcome.error << " " << outcome.reply;
  EXPECT_NE(server.Mail(1).find("FAN is abnormal"), std::string::npos);

  outcome = SendMail(*composed.mail, server.Address(), trusting, {"relay", "wrong"});
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.code, 535) << outcome.reply;
  // The system store does not know the run's certificate: no password goes to that server.
  outcome = SendMail(*composed.mail, server.Address(), {}, {"relay", "s3cret"});
  EXPECT_FALSE(outcome.sent);
  EXPECT_TRUE(server.Mail(2).empty());
}

TEST(SmtpSenderTest, ARefusalOrASilentServerIsAFailureWithinItsTime) {
  {
    testing::ScriptedSmtpServer server("220-mail.example.org\r\n220 ready\r\n",
                                       {"250 hello\r\n", "250 sender ok\r\n",
                                        "550 No such user\r\n", "221 bye\r\n", "221 bye\r\n"});
    const AlarmComposition composed =
        ComposeAlarmMail(AlarmKind::kLinkFault, "10.0.0.5", Settings(server.Server()));
    const SmtpOutcome outcome = SendMail(*composed.mail, server.Server(), {});
    EXPECT_FALSE(outcome.sent);
    EXPECT_TRUE(outcome.talked);
    EXPECT_EQ(outcome.code, 550);
    EXPECT_EQ(outcome.reply, "550 No such user");
    EXPECT_EQ(outcome.step, "RCPT TO");
    EXPECT_EQ(FailureWords(outcome), "refused: 550 No such user");
  }
  {
    testing::ScriptedSmtpServer silent("", {});
    const AlarmComposition composed =
        ComposeAlarmMail(AlarmKind::kLinkFault, "10.0.0.5", Settings(silent.Server()));
    const auto started = Clock::now();
    SmtpOptions options;
    options.wholeMailTimeoutMs = 500;
    const SmtpOutcome outcome = SendMail(*composed.mail, silent.Server(), options);
    EXPECT_FALSE(outcome.sent);
    EXPECT_FALSE(outcome.talked);
    EXPECT_EQ(outcome.failure, SmtpFailure::kNoAnswer);
    EXPECT_EQ(silent.Received(), 0u);  // nothing is said before the server's greeting
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(5));
  }
  {
    testing::ScriptedSmtpServer hung("", {});
    const AlarmComposition composed =
        ComposeAlarmMail(AlarmKind::kLinkFault, "10.0.0.5", Settings(hung.Server()));
    const std::atomic<bool> stop{true};  // the console closes
    const auto started = Clock::now();
    SmtpOptions options;
    options.stop = &stop;
    EXPECT_FALSE(SendMail(*composed.mail, hung.Server(), options).sent);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
  }
}

// Whatever a mail server does wrong, the mail fails within its time and says why (the refusing
// reply and the step it refused, or what went wrong instead); it is never taken for sent. What
// the server did take is sent, whatever it refused on the way.
TEST(SmtpSenderTest, EveryServerFaultIsAFailureInTimeAndAQueuedMailIsSent) {
  using testing::ScriptedSmtpServer;
  const std::string ok = "250 ok\r\n";
  const std::string go = "354 go on\r\n";
  struct Case {
    const char* name;
    std::string greeting;
    std::vector<std::string> answers;
    SmtpLogin login;
    SmtpFailure failure;
    std::string step;  // with kRefused
    std::string reply;
  };
  const std::vector<Case> cases = {
      {"hangs after EHLO", "220 ready\r\n", {"250 hello\r\n"}, {}, SmtpFailure::kNoAnswer, "", ""},
      {"4xx to MAIL FROM",
       "220 ready\r\n",
       {"250 hello\r\n", "451 try later\r\n"},
       {},
       SmtpFailure::kRefused,
       "MAIL FROM",
       "451 try later"},
      {"5xx to DATA",
       "220 ready\r\n",
       {"250 hello\r\n", ok, ok, "554 no\r\n"},
       {},
       SmtpFailure::kRefused,
       "DATA",
       "554 no"},
      {"5xx to the text",
       "220 ready\r\n",
       {"250 hello\r\n", ok, ok, go, "552 too big\r\n"},
       {},
       SmtpFailure::kRefused,
       "end of DATA",
       "552 too big"},
      {"stalls after the text",
       "220 ready\r\n",
       {"250 hello\r\n", ok, ok, go},
       {},
       SmtpFailure::kNoAnswer,
       "",
       ""},
      {"closes after the text",
       "220 ready\r\n",
       {"250 hello\r\n", ok, ok, go, ScriptedSmtpServer::kClose},
       {},
       SmtpFailure::kClosed,
       "",
       ""},
      {"refuses STARTTLS for a login",
       "220 ready\r\n",
       {"250-hello\r\n250 STARTTLS\r\n", "454 TLS not available\r\n"},
       {"relay", "s3cret"},
       SmtpFailure::kRefused,
       "STARTTLS",
       "454 TLS not available"},
      {"offers no STARTTLS for a login",
       "220 ready\r\n",
       {"250 hello\r\n"},
       {"relay", "pw"},
       SmtpFailure::kStartTlsMissing,
       "",
       ""},
      {"greets with 554",
       "554 go away\r\n",
       {},
       {},
       SmtpFailure::kRefused,
       "greeting",
       "554 go away"},
      {"refuses STARTTLS without a login: the mail goes in the clear",
       "220 ready\r\n",
       {"250-hello\r\n250 STARTTLS\r\n", "454 TLS not available\r\n", ok, ok, go, ok},
       {},
       SmtpFailure::kNone,
       "",
       ""},
      {"refuses EHLO and takes HELO",
       "220 ready\r\n",
       {"502 no EHLO here\r\n", "250 hello\r\n", ok, ok, go, ok},
       {},
       SmtpFailure::kNone,
       "",
       ""},
  };
  for (const Case& with : cases) {
    SCOPED_TRACE(with.name);
    ScriptedSmtpServer server(with.greeting, with.answers);
    const AlarmComposition composed =
        ComposeAlarmMail(AlarmKind::kLinkFault, "10.0.0.5", Settings(server.Server()));
    SmtpOptions options;
    options.wholeMailTimeoutMs = 3000;
    const auto started = Clock::now();
    const SmtpOutcome outcome = SendMail(*composed.mail, server.Server(), options, with.login);
    // Only silence takes the time; nothing waits for an answer to QUIT.
    EXPECT_LT(Clock::now() - started, with.failure == SmtpFailure::kNoAnswer
                                          ? std::chrono::seconds(5)
                                          : std::chrono::seconds(2));
    EXPECT_EQ(outcome.failure, with.failure) << outcome.error << " " << outcome.reply;
    EXPECT_EQ(outcome.sent, with.failure == SmtpFailure::kNone);
    if (with.failure == SmtpFailure::kRefused) {
      EXPECT_EQ(outcome.step, with.step);
      EXPECT_EQ(outcome.reply, with.reply);
    }
    if (with.failure == SmtpFailure::kNoAnswer) {
      EXPECT_EQ(outcome.waitedSeconds, 3);
    }
  }
  // Nobody at the address at all.
  std::string closed;
  {
    ScriptedSmtpServer gone("", {});
    closed = gone.Server();
  }
  const AlarmComposition composed =
      ComposeAlarmMail(AlarmKind::kLinkFault, "10.0.0.5", Settings(closed));
  const SmtpOutcome outcome = SendMail(*composed.mail, closed, {});
  EXPECT_FALSE(outcome.sent);
  EXPECT_TRUE(outcome.unreachable);
  EXPECT_TRUE(ProbeServer(closed, {}).unreachable);
}

// A venue's relay with a certificate of its own: without an account STARTTLS is taken unverified
// and the mail goes; "required" verifies (and trusts a private CA file), "never" stays in the
// clear, which this relay refuses.
TEST(SmtpSenderTest, TheEncryptionSettingDecidesStartTlsAndVerification) {
  testing::MailServer server({.tls = true, .auth = ""});
  ASSERT_FALSE(server.Address().empty());
  const AlarmComposition composed =
      ComposeAlarmMail(AlarmKind::kFanFault, "10.0.0.5", Settings(server.Address()));
  SmtpOutcome outcome = SendMail(*composed.mail, server.Address(), {});
  EXPECT_TRUE(outcome.sent) << outcome.error << " " << outcome.reply;
  EXPECT_NE(server.Mail(1).find("FAN is abnormal"), std::string::npos);

  SmtpOptions options;
  options.encryption = MailEncryption::kRequired;
  outcome = SendMail(*composed.mail, server.Address(), options);
  EXPECT_EQ(outcome.failure, SmtpFailure::kUntrusted) << outcome.error;
  EXPECT_EQ(FailureWords(outcome), "certificate not trusted");
  options.caFile = server.CaFile();
  EXPECT_TRUE(SendMail(*composed.mail, server.Address(), options).sent);

  options.encryption = MailEncryption::kNever;
  outcome = SendMail(*composed.mail, server.Address(), options);
  EXPECT_EQ(outcome.failure, SmtpFailure::kRefused);
  EXPECT_EQ(outcome.code, 530) << outcome.reply;
  EXPECT_TRUE(server.Mail(3).empty());
}

// The close sets the stop at whatever step the mail is: a name the resolver sits on, a server
// that never greets, one that stalls after the mail's text. The mail ends at once, as stopped.
TEST(SmtpSenderTest, AStopEndsTheMailAtAnyStep) {
  testing::ScriptedSmtpServer silent("", {});
  const std::string ok = "250 ok\r\n";
  testing::ScriptedSmtpServer stalling("220 ready\r\n", {ok, ok, ok, "354 go on\r\n"});
  for (const std::string& server :
       {std::string(testing::kStalledName) + ":2525", silent.Server(), stalling.Server()}) {
    SCOPED_TRACE(server);
    const AlarmComposition composed =
        ComposeAlarmMail(AlarmKind::kLinkFault, "10.0.0.5", Settings(server));
    std::atomic<bool> stop{false};
    SmtpOptions options;
    options.stop = &stop;
    std::thread closer([&stop] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      stop = true;
    });
    const auto started = Clock::now();
    const SmtpOutcome outcome = SendMail(*composed.mail, server, options);
    closer.join();
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1000));
    EXPECT_EQ(outcome.failure, SmtpFailure::kStopped) << outcome.error;
  }
}

TEST(SmtpSenderTest, TheServerSettingBecomesAUrl) {
  EXPECT_EQ(SmtpUrl("mail.example.org"), "smtp://mail.example.org:25");
  EXPECT_EQ(SmtpUrl("127.0.0.1:2525"), "smtp://127.0.0.1:2525");
  EXPECT_EQ(SmtpUrl("[::1]:2525"), "smtp://[::1]:2525");
  EXPECT_EQ(SmtpUrl("[::1]"), "smtp://[::1]:25");
  for (const char* bad : {"", "host:", "host:port", "a b", "user@host", "host/path", "[::1"}) {
    EXPECT_EQ(SmtpUrl(bad), "") << bad;
  }
}

}  // namespace
}  // namespace tarnex
