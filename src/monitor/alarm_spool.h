#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "monitor/alarm_queue.h"

namespace tarnex {

// The alarm mails a close left unsent, kept in the configuration folder for the next start:
// one line a mail, "kind attempts raised address", written whole or not at all.
inline constexpr const char* kAlarmSpoolFile = "AlarmMailSpool.txt";

std::string AlarmSpoolText(const std::vector<QueuedAlarm>& alarms);
// The mails of a spool's text; lines that are not one are skipped, and at most
// AlarmQueue::kMaxWaiting are taken. The text is whatever was on disk.
std::vector<QueuedAlarm> ParseAlarmSpool(std::string_view text);

// Writes the spool atomically, or removes it when nothing is left; false when that failed.
bool WriteAlarmSpool(const std::string& path, const std::vector<QueuedAlarm>& alarms);
// Reads the spool and removes it, so a mail is handed to one start only.
std::vector<QueuedAlarm> TakeAlarmSpool(const std::string& path);

}  // namespace tarnex
