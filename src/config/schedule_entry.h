#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnex {

class ProfileFile;

// A day of the local calendar.
struct LocalDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  auto operator<=>(const LocalDate&) const = default;
};

// "YYYY-MM-DD", a real calendar day (29 February in leap years only); none otherwise.
std::optional<LocalDate> DateFromText(std::string_view text);
std::string DateText(const LocalDate& date);

enum class ScheduleActionKind { kPowerOn, kPowerOff, kInput, kMuteOn, kMuteOff, kMessage, kClear };

struct ScheduleAction {
  ScheduleActionKind kind = ScheduleActionKind::kPowerOff;
  std::string input;  // kInput: a name tarnexctl takes ("hdmi1")
  std::string text;   // kMessage: the on-screen text
  bool operator==(const ScheduleAction&) const = default;
};

// Stored and typed as "POWER ON", "POWER OFF", "INPUT hdmi1", "MUTE ON", "MUTE OFF",
// "MESSAGE <text>", "CLEAR"; none for anything else (an unknown input name included).
std::optional<ScheduleAction> ActionFromText(std::string_view text);
std::string ActionText(const ScheduleAction& action);

// When an entry runs: a local minute on the weekdays of `days`, or on one date.
struct ScheduleWhen {
  int minuteOfDay = 0;  // 0..1439, local time
  // Bit 0 Monday ... bit 6 Sunday; zero for an entry of one date.
  std::uint8_t days = 0;
  std::optional<LocalDate> date;
  bool operator==(const ScheduleWhen&) const = default;
};

// Stored as "WEEKLY HH:MM mon,tue,..." (days in week order, lower case) or
// "DATE YYYY-MM-DD HH:MM"; none for anything else.
std::optional<ScheduleWhen> WhenFromText(std::string_view text);
std::string WhenText(const ScheduleWhen& when);
// "mon,tue,sun" and back; none for an empty list, an unknown or a repeated day.
std::optional<std::uint8_t> DaysFromText(std::string_view text);
std::string DaysText(std::uint8_t days);
// "HH:MM" and back (00:00..23:59).
std::optional<int> MinuteFromText(std::string_view text);
std::string MinuteText(int minuteOfDay);

// A target is a name resolved when the entry fires, never a row: "group:NAME",
// "display:ADDRESS" or "set:N".
struct ScheduleEntry {
  std::string name;  // unique among the entries, printable, at most 64 characters
  bool enabled = true;
  std::string target;
  ScheduleAction action;
  ScheduleWhen when;
  std::optional<LocalDate> validFrom;
  std::optional<LocalDate> validTo;
  // The latest missed occurrence of a power or input entry runs once at the next start.
  bool enforceAtStart = false;
  // Its group was deleted: it stays, disabled, so that a namesake never inherits it.
  bool targetGone = false;
  // Non-empty when the stored entry could not be read: why. Such an entry never runs and is
  // written back as it was read (`stored`).
  std::string unreadable;
  std::vector<std::string> stored;  // the raw values of an unreadable entry, field by field
  bool operator==(const ScheduleEntry&) const = default;
};

struct ScheduleTable {
  std::vector<ScheduleEntry> entries;
  // Holidays: no entry runs on these days.
  std::vector<LocalDate> exclusions;
  bool operator==(const ScheduleTable&) const = default;
};

inline constexpr size_t kMaxScheduleEntries = 500;
inline constexpr size_t kMaxScheduleExclusions = 400;

// The network configuration file's schedule sections: "SCHEDULECOUNT" (count),
// "SCHEDULENAME", "SCHEDULETARGET", "SCHEDULEACTION", "SCHEDULEWHEN", "SCHEDULEFLAGS",
// "SCHEDULEVALID" and "SCHEDULEEXCLUDE", keyed by index. Older readers ignore them; a file
// without them reads as no schedules. Bounded: entries past kMaxScheduleEntries are ignored.
ScheduleTable ReadScheduleTable(const ProfileFile& file);
// Writes every schedule section (and clears entries of a longer earlier table), touching no
// other section.
void WriteScheduleTable(ProfileFile& file, const ScheduleTable& table);

}  // namespace tarnex
