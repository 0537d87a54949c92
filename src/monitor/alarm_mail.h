#pragma once

#include <functional>
#include <string>

#include "console/console_core.h"
#include "monitor/alarm_queue.h"
#include "monitor/smtp/fast_smtp.h"
#include "monitor/smtp/smtp_sender.h"
#include "platform/ui_host.h"

namespace tarnex {

// What the operator is told of a test mail: why there was none, or how the server took it.
std::string TestMailVerdict(const AlarmComposition& composed, const SmtpOutcome& outcome);

// The mail client's own words on standard error for what went wrong ("Invalid socket",
// "Please add a message recipient!", ...), one a line; none for a mail that went.
std::string MailDiagnostics(const AlarmComposition& composed, const SmtpOutcome& outcome);

// The encryption setting as the "Alarm" section stores it, and back; unknown texts are the
// default.
MailEncryption EncryptionOf(const std::string& stored);
std::string StoredEncryption(MailEncryption encryption);

// The history line of a failed alarm mail: which alarm, and why ("Fan Alarm Mail Failed:
// refused: 550 No such user"); "Given Up" once no try is left.
std::string AlarmMailFailureLine(const AlarmFailure& failure);

// Each failed alarm mail gets its history line; `failing` hears (on the mail worker) when alarm
// mails start failing and when one goes again. Before the first mail.
void FollowAlarmMails(AlarmQueue& alarms, CConsoleCore& core,
                      std::function<void(bool failing)> failing);

// The stored subject's bytes as UTF-8 (the window's codec); empty keeps them as they are.
using SubjectDecoder = std::function<std::string(const std::string&)>;

// The mail worker's sender: one alarm mail with the settings of this moment. The settings are
// copied under the console lock; the mail is composed and sent without it. The server is tried
// before the settings are judged, so an unreachable server is what the operator hears of
// first. Only the test mail's verdict goes to the operator, through `ui`.
AlarmMailResult SendAlarmMail(CConsoleCore& core, UiHost& ui, const SmtpOptions& options,
                              AlarmKind kind, const std::string& address,
                              const SubjectDecoder& decodeSubject);

}  // namespace tarnex
