#include "app/alarm_mail.h"

#include "app/legacy_text.h"
#include "platform/trace.h"

namespace tarnex {

std::string TestMailVerdict(const AlarmComposition& composed, const SmtpOutcome& outcome) {
  if (!composed.mail) return composed.problem;
  if (outcome.sent) return "Test is Successful!";
  // A server the console cannot reach is a server setting to fix, like an empty one.
  if (outcome.unreachable) return "Put Server Name";
  if (!outcome.talked) return "Not Connected!";
  return "Mail was not accepted: " + outcome.reply;
}

// Mail worker.
void SendAlarmMail(CConsoleCore& core, UiHost& ui, const SmtpOptions& options, AlarmKind kind,
                   const std::string& address) {
  AlarmSettings settings;
  SmtpLogin login;
  {
    auto state = core.Lock();
    const COsprelNetworkManagerDoc& doc = state->Doc();
    settings = {doc.m_docAlarmSubject, doc.m_docAlarmTo, doc.m_docAlarmFrom, doc.m_docAlarmServer};
    login = {doc.m_docAlarmUser, doc.m_docAlarmPassword};
  }
  Trace("Subject : %s", settings.subject.c_str());
  Trace("TO : %s", settings.to.c_str());
  Trace("FROM : %s", settings.from.c_str());
  Trace("SMTPServer : %s", settings.server.c_str());
  // The subject is stored as the window shows it, possibly in an older installation's code
  // page; the header carries it as UTF-8.
  settings.subject = DecodeText(settings.subject).toStdString();
  const AlarmComposition composed = ComposeAlarmMail(kind, address, settings);
  const SmtpOutcome outcome =
      composed.mail ? SendMail(*composed.mail, settings.server, options, login) : SmtpOutcome{};
  if (!outcome.sent) {
    Trace("alarm mail not sent: %s%s %s", composed.problem.c_str(), outcome.error.c_str(),
          outcome.reply.c_str());
  }
  if (kind == AlarmKind::kTest) ui.ShowMessage(TestMailVerdict(composed, outcome));
}

}  // namespace tarnex
