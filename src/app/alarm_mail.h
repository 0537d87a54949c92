#pragma once

#include <string>

#include "console/console_core.h"
#include "monitor/smtp/fast_smtp.h"
#include "monitor/smtp/smtp_sender.h"
#include "platform/ui_host.h"

namespace tarnex {

// What the operator is told of a test mail: why there was none, or how the server took it.
std::string TestMailVerdict(const AlarmComposition& composed, const SmtpOutcome& outcome);

// The mail worker's sender: one alarm mail with the settings of this moment. The settings are
// copied under the console lock; the mail is composed and sent without it. A failed alarm is
// traced; only the test mail's verdict goes to the operator, through `ui`.
void SendAlarmMail(CConsoleCore& core, UiHost& ui, const SmtpOptions& options, AlarmKind kind,
                   const std::string& address);

}  // namespace tarnex
