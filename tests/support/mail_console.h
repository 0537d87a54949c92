#pragma once

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "app/legacy_text.h"
#include "console/console_core.h"
#include "monitor/alarm_mail.h"
#include "monitor/alarm_queue.h"
#include "platform/scratch_folder.h"
#include "support/recording_ui_host.h"

namespace tarnex::testing {

// A console core on a fresh configuration folder whose alarm mails go out through the
// console's own sender, with a short time-out so that a silent server fails fast. For the
// dialogs that change settings and send mail.
class MailConsole {
 public:
  MailConsole() {
    ::setenv("TARNEX_CONFIG_DIR", folder.Path().c_str(), 1);
    doc.OnNewDocument();
    options.wholeMailTimeoutMs = 2000;
    core.SetAlarmMailer(&alarms);
    FollowAlarmMails(alarms, core, [this](bool now) { failing = now; });
    core.SetHistoryWriter([this](const std::vector<HistoryLine>& lines) {
      std::lock_guard lock(historyMutex);
      for (const HistoryLine& line : lines) history.push_back(line.text);
    });
  }
  ~MailConsole() {
    alarms.Stop();
    ::unsetenv("TARNEX_CONFIG_DIR");
  }

  // Where the alarm mails go.
  void SetAlarm(std::string subject, std::string to, std::string from, std::string server) {
    auto state = core.Lock();
    COsprelNetworkManagerDoc& d = state->Doc();
    d.m_docAlarmSubject = std::move(subject);
    d.m_docAlarmTo = std::move(to);
    d.m_docAlarmFrom = std::move(from);
    d.m_docAlarmServer = std::move(server);
  }

  // The history lines written so far.
  std::vector<std::string> History() {
    core.FlushHistory();
    std::lock_guard lock(historyMutex);
    return history;
  }

  ScratchFolder folder;
  COsprelNetworkManagerDoc doc;
  RecordingUiHost ui;
  CConsoleCore core{doc, ui};
  SmtpOptions options;
  std::atomic<bool> failing{false};
  std::mutex historyMutex;
  std::vector<std::string> history;
  AlarmQueue alarms{[this](AlarmKind kind, const std::string& address) {
    return SendAlarmMail(core, ui, options, kind, address, [](const std::string& subject) {
      return DecodeText(subject).toStdString();
    });
  }};
};

}  // namespace tarnex::testing
