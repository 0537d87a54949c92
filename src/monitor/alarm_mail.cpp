#include "monitor/alarm_mail.h"

#include <cstdio>

#include "platform/trace.h"

namespace tarnex {
namespace {

constexpr const char* kEncryptionTexts[] = {"", "if offered", "required", "never"};

std::string NotSent(const std::string& why) {
  return "Mail was not sent: " + why;
}

std::string FailureVerdict(const SmtpOutcome& outcome) {
  switch (outcome.failure) {
    case SmtpFailure::kNone:
      return "Test is Successful!";
    case SmtpFailure::kUnreachable:
      // A server the console cannot reach is a server setting to fix, like an empty one.
      return "Put Server Name";
    case SmtpFailure::kRefused:
      return "Mail was not accepted at " + outcome.step + ": " + outcome.reply;
    case SmtpFailure::kNoAnswer:
      return NotSent("no answer from the mail server within " +
                     std::to_string(outcome.waitedSeconds) + " s");
    case SmtpFailure::kUntrusted:
      return NotSent("the mail server's certificate is not trusted");
    case SmtpFailure::kTlsFailed:
      return NotSent("TLS with the mail server failed");
    case SmtpFailure::kStartTlsMissing:
      return NotSent("STARTTLS is required, and the mail server does not offer it");
    case SmtpFailure::kClosed:
      return NotSent("the mail server closed the connection");
    case SmtpFailure::kStopped:
      return NotSent("the console closes");
    case SmtpFailure::kOther:
      break;
  }
  return NotSent(outcome.error);
}

}  // namespace

std::string TestMailVerdict(const AlarmComposition& composed, const SmtpOutcome& outcome) {
  if (outcome.unreachable) return "Put Server Name";
  if (!composed.mail) return composed.problem;
  return FailureVerdict(outcome);
}

std::string MailDiagnostics(const AlarmComposition& composed, const SmtpOutcome& outcome) {
  if (outcome.unreachable) return "Invalid socket\n";
  if (!composed.mail) return composed.diagnostic.empty() ? "" : composed.diagnostic + "\n";
  if (outcome.failure == SmtpFailure::kClosed && outcome.socketError != 0) {
    return "Socket send error: " + std::to_string(outcome.socketError) + "\n";
  }
  if (outcome.failure == SmtpFailure::kClosed) return "Not connected to server!\n";
  return {};
}

MailEncryption EncryptionOf(const std::string& stored) {
  for (size_t i = 1; i < std::size(kEncryptionTexts); ++i) {
    if (stored == kEncryptionTexts[i]) return static_cast<MailEncryption>(i);
  }
  return MailEncryption::kByAccount;
}

std::string StoredEncryption(MailEncryption encryption) {
  return kEncryptionTexts[static_cast<size_t>(encryption)];
}

std::string AlarmMailFailureLine(const AlarmFailure& failure) {
  const char* name = "Test";
  switch (failure.alarm.kind) {
    case AlarmKind::kTest:
      break;
    case AlarmKind::kCredentialsChanged:
      name = "ID or Password";
      break;
    case AlarmKind::kLinkFault:
      name = "Network";
      break;
    case AlarmKind::kFanFault:
      name = "Fan";
      break;
    case AlarmKind::kScheduleFailed:
      name = "Schedule";
      break;
  }
  return std::string(name) + " Alarm Mail " + (failure.givenUp ? "Given Up: " : "Failed: ") +
         failure.why;
}

void FollowAlarmMails(AlarmQueue& alarms, CConsoleCore& core,
                      std::function<void(bool failing)> failing) {
  alarms.SetListener({.failed =
                          [&core](const AlarmFailure& failure) {
                            // Mail worker.
                            // A schedule's mail names an entry, not a display.
                            const bool entry = failure.alarm.kind == AlarmKind::kScheduleFailed;
                            core.Lock()->AppendAlarmHistory(
                                entry ? std::string() : failure.alarm.address,
                                AlarmMailFailureLine(failure) +
                                    (entry ? " (" + failure.alarm.address + ")" : ""));
                          },
                      .failing = std::move(failing)});
}

// Mail worker.
AlarmMailResult SendAlarmMail(CConsoleCore& core, UiHost& ui, const SmtpOptions& options,
                              AlarmKind kind, const std::string& address,
                              const SubjectDecoder& decodeSubject) {
  AlarmSettings settings;
  SmtpLogin login;
  SmtpOptions mailOptions = options;
  {
    auto state = core.Lock();
    const COsprelNetworkManagerDoc& doc = state->Doc();
    settings = {doc.m_docAlarmSubject, doc.m_docAlarmTo, doc.m_docAlarmFrom, doc.m_docAlarmServer};
    login = {doc.m_docAlarmUser, doc.m_docAlarmPassword};
    mailOptions.encryption = EncryptionOf(doc.m_docAlarmEncryption);
  }
  Trace("Subject : %s", settings.subject.c_str());
  Trace("TO : %s", settings.to.c_str());
  Trace("FROM : %s", settings.from.c_str());
  Trace("SMTPServer : %s", settings.server.c_str());
  // The subject is stored as the window shows it, possibly in an older installation's code
  // page; the header carries it as UTF-8, and only the front end knows that code page.
  if (decodeSubject) settings.subject = decodeSubject(settings.subject);
  const AlarmComposition composed = ComposeAlarmMail(kind, address, settings);
  const bool test = kind == AlarmKind::kTest;
  SmtpOutcome outcome;
  if (composed.mail) {
    outcome = SendMail(*composed.mail, settings.server, mailOptions, login);
  } else if (!settings.server.empty() && test) {
    // The operator hears of an unreachable server before the settings, as the mail client
    // connected before it looked at them; an alarm that cannot be composed need not connect.
    outcome = ProbeServer(settings.server, mailOptions);
  } else if (settings.server.empty()) {
    outcome.unreachable = true;
    outcome.failure = SmtpFailure::kUnreachable;
  }
  const std::string diagnostics = MailDiagnostics(composed, outcome);
  if (!diagnostics.empty()) std::fputs(diagnostics.c_str(), stderr);
  const bool stopped = outcome.failure == SmtpFailure::kStopped;
  if (test && !stopped) ui.ShowMessage(TestMailVerdict(composed, outcome));
  if (outcome.sent && composed.mail) {
    return {.sent = true, .stopped = false, .why = {}, .unwanted = false};
  }
  // Without a server or a recipient nobody asked for alarm mails.
  const bool unwanted = settings.server.empty() || settings.to.empty();
  const std::string why =
      outcome.unreachable || composed.mail ? FailureWords(outcome) : composed.problem;
  return {.sent = false, .stopped = stopped, .why = why, .unwanted = unwanted};
}

}  // namespace tarnex
