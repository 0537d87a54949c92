#include "config/schedule_entry.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <unordered_set>

#include "config/config_keys.h"
#include "config/group_tables.h"
#include "config/profile_file.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

constexpr std::array<std::string_view, 7> kDayNames = {"mon", "tue", "wed", "thu",
                                                       "fri", "sat", "sun"};

// The names tarnexctl takes for an input. Kept here rather than asked of the scripting layer,
// which sits above this one; the two lists must agree.
constexpr std::array<std::string_view, 8> kInputNames = {
    "av", "component1", "component2", "rgb1", "rgb2", "hdmi1", "hdmi2", "hdmi3"};

constexpr size_t kMaxNameCharacters = 64;
constexpr size_t kMaxTargetCharacters = 256;
constexpr size_t kMaxMessageCharacters = 80;
// How much of a value that could not be read its reason quotes.
constexpr size_t kQuotedCharacters = 40;

// All decimal digits, nothing else: from_chars alone would take a sign.
std::optional<int> Digits(std::string_view text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// `value` in exactly `width` digits; a value out of range is pinned so that the text keeps
// its shape (a caller's mistake must not make a field that shifts the ones after it).
std::string Padded(int value, int width) {
  int limit = 1;
  for (int i = 0; i < width; ++i) limit *= 10;
  value = std::clamp(value, 0, limit - 1);
  char text[8];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  const auto length = static_cast<size_t>(end - text);
  return std::string(static_cast<size_t>(width) - length, '0') + std::string(text, length);
}

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

// No control characters, and at most `maxCharacters` characters, counted as UTF-8 would
// count them; bytes past ASCII are allowed, since names are typed in any language.
bool PrintableUpTo(std::string_view text, size_t maxCharacters) {
  if (text.empty() || text.size() > 4 * maxCharacters) return false;
  size_t characters = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20u || byte == 0x7Fu) return false;
    if (!IsContinuationByte(c)) ++characters;
  }
  return characters <= maxCharacters;
}

// The start of a value for a reason: cut on a character boundary, and with control bytes
// shown as '?' so that a hostile file cannot put terminal sequences into a message.
std::string Quoted(std::string_view value) {
  size_t cut = 0;
  for (size_t characters = 0; cut < value.size(); ++cut) {
    if (!IsContinuationByte(value[cut]) && characters++ == kQuotedCharacters) break;
  }
  std::string text(value.substr(0, cut));
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20u || c == 0x7F) c = '?';
  }
  return "\"" + text + "\"";
}

bool LeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && LeapYear(year) ? 29 : kDays[static_cast<size_t>(month - 1)];
}

bool ValidTarget(std::string_view target) {
  for (const std::string_view prefix : {"group:", "display:", "set:"}) {
    if (target.starts_with(prefix) && target.size() > prefix.size()) {
      return PrintableUpTo(target, kMaxTargetCharacters);
    }
  }
  return false;
}

// Flags: "enabled" or "disabled", then ",enforce" (enforceAtStart) and ",gone" (targetGone),
// each at most once. Written in that order; read in any order.
std::string FlagsText(const ScheduleEntry& entry) {
  std::string text = entry.enabled ? "enabled" : "disabled";
  if (entry.enforceAtStart) text += ",enforce";
  if (entry.targetGone) text += ",gone";
  return text;
}

bool ReadFlags(std::string_view text, ScheduleEntry& entry) {
  size_t end = text.find(',');
  const std::string_view state = text.substr(0, end);
  if (state != "enabled" && state != "disabled") return false;
  entry.enabled = state == "enabled";
  entry.enforceAtStart = entry.targetGone = false;
  while (end != std::string_view::npos) {
    const size_t start = end + 1;
    end = text.find(',', start);
    const std::string_view word =
        text.substr(start, end == std::string_view::npos ? end : end - start);
    bool* flag = word == "enforce" ? &entry.enforceAtStart
                 : word == "gone"  ? &entry.targetGone
                                   : nullptr;
    if (flag == nullptr || *flag) return false;
    *flag = true;
  }
  return true;
}

// Validity: "FROM..TO", either side empty for an open end; the empty text for none.
std::string ValidText(const ScheduleEntry& entry) {
  if (!entry.validFrom && !entry.validTo) return {};
  return (entry.validFrom ? DateText(*entry.validFrom) : "") + ".." +
         (entry.validTo ? DateText(*entry.validTo) : "");
}

bool ReadValid(std::string_view text, ScheduleEntry& entry) {
  entry.validFrom = entry.validTo = std::nullopt;
  if (text.empty()) return true;
  const size_t dots = text.find("..");
  if (dots == std::string_view::npos || text.size() == 2) return false;
  const std::string_view from = text.substr(0, dots), to = text.substr(dots + 2);
  if (!from.empty() && !(entry.validFrom = DateFromText(from))) return false;
  if (!to.empty() && !(entry.validTo = DateFromText(to))) return false;
  return !entry.validFrom || !entry.validTo || *entry.validFrom <= *entry.validTo;
}

enum Field : size_t { kName, kTarget, kAction, kWhen, kFlags, kValid, kFieldCount };
using Fields = std::array<std::string, kFieldCount>;
constexpr std::array<const char*, kFieldCount> kFieldSections = {
    keys::kScheduleName, keys::kScheduleTarget, keys::kScheduleAction,
    keys::kScheduleWhen, keys::kScheduleFlags,  keys::kScheduleValid};
constexpr std::array<const char*, kFieldCount> kFieldWords = {"name", "target", "action",
                                                              "when", "flags",  "valid"};

// Why the fields do not make an entry, or the empty text when they do.
std::string ParseEntry(const Fields& raw, ScheduleEntry& entry) {
  const auto refused = [&raw](Field field) {
    return std::string("unreadable ") + kFieldWords[field] + " " + Quoted(raw[field]);
  };
  if (raw[kName].empty()) return "empty name";
  if (!PrintableUpTo(raw[kName], kMaxNameCharacters)) return refused(kName);
  entry.name = raw[kName];
  if (!ValidTarget(raw[kTarget])) return refused(kTarget);
  entry.target = raw[kTarget];
  const auto action = ActionFromText(raw[kAction]);
  if (!action) return refused(kAction);
  entry.action = *action;
  const auto when = WhenFromText(raw[kWhen]);
  if (!when) return refused(kWhen);
  entry.when = *when;
  if (!ReadFlags(raw[kFlags], entry)) return refused(kFlags);
  if (!ReadValid(raw[kValid], entry)) return refused(kValid);
  return {};
}

Fields EntryFields(const ScheduleEntry& entry) {
  Fields fields;
  if (!entry.unreadable.empty()) {
    for (size_t f = 0; f < kFieldCount && f < entry.stored.size(); ++f) {
      fields[f] = entry.stored[f];
    }
    return fields;
  }
  return {entry.name,           entry.target,     ActionText(entry.action),
          WhenText(entry.when), FlagsText(entry), ValidText(entry)};
}

// A value the reader already sees keeps its line untouched, however it was quoted.
void PutChanged(ProfileFile& file, const char* section, long long index, std::string_view value) {
  if (file.Text(section, index) != value) file.Put(section, index, value);
}

// ProfileFile removes no keys: the ones past the count are blanked instead, and the reader
// never looks past the count.
bool BlankFrom(ProfileFile& file, size_t entries, size_t exclusions) {
  bool blanked = false;
  for (size_t i = entries; i < kMaxScheduleEntries; ++i) {
    for (const char* section : kFieldSections) {
      if (file.Text(section, static_cast<long long>(i)).empty()) continue;
      file.Put(section, static_cast<long long>(i), "");
      blanked = true;
    }
  }
  for (size_t i = exclusions; i < kMaxScheduleExclusions; ++i) {
    if (file.Text(keys::kScheduleExclude, static_cast<long long>(i)).empty()) continue;
    file.Put(keys::kScheduleExclude, static_cast<long long>(i), "");
    blanked = true;
  }
  return blanked;
}

}  // namespace

std::optional<LocalDate> DateFromText(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto year = Digits(text.substr(0, 4));
  const auto month = Digits(text.substr(5, 2));
  const auto day = Digits(text.substr(8, 2));
  if (!year || !month || !day || *year < 1970 || *month < 1 || *month > 12 || *day < 1 ||
      *day > DaysInMonth(*year, *month)) {
    return std::nullopt;
  }
  return LocalDate{*year, *month, *day};
}

std::string DateText(const LocalDate& date) {
  return Padded(date.year, 4) + "-" + Padded(date.month, 2) + "-" + Padded(date.day, 2);
}

std::optional<ScheduleAction> ActionFromText(std::string_view text) {
  using Kind = ScheduleActionKind;
  constexpr std::array<std::pair<std::string_view, Kind>, 5> kWords = {
      {{"POWER ON", Kind::kPowerOn},
       {"POWER OFF", Kind::kPowerOff},
       {"MUTE ON", Kind::kMuteOn},
       {"MUTE OFF", Kind::kMuteOff},
       {"CLEAR", Kind::kClear}}};
  for (const auto& [word, kind] : kWords) {
    if (text == word) return ScheduleAction{kind, {}, {}};
  }
  constexpr std::string_view kInput = "INPUT ", kMessage = "MESSAGE ";
  if (text.starts_with(kInput)) {
    const std::string_view input = text.substr(kInput.size());
    if (std::find(kInputNames.begin(), kInputNames.end(), input) == kInputNames.end()) {
      return std::nullopt;
    }
    return ScheduleAction{Kind::kInput, std::string(input), {}};
  }
  if (text.starts_with(kMessage)) {
    const std::string_view message = text.substr(kMessage.size());
    if (!PrintableUpTo(message, kMaxMessageCharacters)) return std::nullopt;
    return ScheduleAction{Kind::kMessage, {}, std::string(message)};
  }
  return std::nullopt;
}

std::string ActionText(const ScheduleAction& action) {
  switch (action.kind) {
    case ScheduleActionKind::kPowerOn:
      return "POWER ON";
    case ScheduleActionKind::kPowerOff:
      return "POWER OFF";
    case ScheduleActionKind::kInput:
      return "INPUT " + action.input;
    case ScheduleActionKind::kMuteOn:
      return "MUTE ON";
    case ScheduleActionKind::kMuteOff:
      return "MUTE OFF";
    case ScheduleActionKind::kMessage:
      return "MESSAGE " + action.text;
    case ScheduleActionKind::kClear:
      return "CLEAR";
  }
  return {};  // a kind cast from a number no enumerator has: stored as nothing readable
}

std::optional<ScheduleWhen> WhenFromText(std::string_view text) {
  constexpr std::string_view kWeekly = "WEEKLY ", kDate = "DATE ";
  if (text.starts_with(kWeekly)) {
    text.remove_prefix(kWeekly.size());
    if (text.size() < 7 || text[5] != ' ') return std::nullopt;
    const auto minute = MinuteFromText(text.substr(0, 5));
    const auto days = DaysFromText(text.substr(6));
    if (!minute || !days) return std::nullopt;
    return ScheduleWhen{*minute, *days, std::nullopt};
  }
  if (text.starts_with(kDate)) {
    text.remove_prefix(kDate.size());
    if (text.size() != 16 || text[10] != ' ') return std::nullopt;
    const auto date = DateFromText(text.substr(0, 10));
    const auto minute = MinuteFromText(text.substr(11));
    if (!date || !minute) return std::nullopt;
    return ScheduleWhen{*minute, 0, date};
  }
  return std::nullopt;
}

std::string WhenText(const ScheduleWhen& when) {
  if (when.date) return "DATE " + DateText(*when.date) + " " + MinuteText(when.minuteOfDay);
  return "WEEKLY " + MinuteText(when.minuteOfDay) + " " + DaysText(when.days);
}

std::optional<std::uint8_t> DaysFromText(std::string_view text) {
  std::uint8_t days = 0;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find(',', start), text.size());
    const auto found =
        std::find(kDayNames.begin(), kDayNames.end(), text.substr(start, end - start));
    if (found == kDayNames.end()) return std::nullopt;
    const auto bit = static_cast<std::uint8_t>(1u << (found - kDayNames.begin()));
    if ((days & bit) != 0) return std::nullopt;
    days |= bit;
    start = end + 1;
  }
  return days;
}

std::string DaysText(std::uint8_t days) {
  std::string text;
  for (size_t d = 0; d < kDayNames.size(); ++d) {
    if ((days & (1u << d)) == 0) continue;
    if (!text.empty()) text += ',';
    text += kDayNames[d];
  }
  return text;
}

std::optional<int> MinuteFromText(std::string_view text) {
  if (text.size() != 5 || text[2] != ':') return std::nullopt;
  const auto hour = Digits(text.substr(0, 2));
  const auto minute = Digits(text.substr(3, 2));
  if (!hour || !minute || *hour > 23 || *minute > 59) return std::nullopt;
  return *hour * 60 + *minute;
}

std::string MinuteText(int minuteOfDay) {
  minuteOfDay = std::clamp(minuteOfDay, 0, 24 * 60 - 1);
  return Padded(minuteOfDay / 60, 2) + ":" + Padded(minuteOfDay % 60, 2);
}

ScheduleTable ReadScheduleTable(const ProfileFile& file) {
  ScheduleTable table;
  const auto count = static_cast<size_t>(ClampCount(
      file.Int(keys::kScheduleCount, keys::kScheduleCountKey), int{kMaxScheduleEntries}));
  std::unordered_set<std::string> names;
  for (size_t i = 0; i < count; ++i) {
    Fields raw;
    for (size_t f = 0; f < kFieldCount; ++f) {
      raw[f] = file.Text(kFieldSections[f], static_cast<long long>(i));
    }
    ScheduleEntry entry;
    std::string reason = ParseEntry(raw, entry);
    if (reason.empty() && !names.insert(entry.name).second) {
      reason = "duplicate name " + Quoted(entry.name);
    }
    if (!reason.empty()) {
      // Nothing of it is trusted: it never runs, and only its stored values go back.
      entry = ScheduleEntry{};
      entry.enabled = false;
      entry.unreadable = std::move(reason);
      entry.stored.assign(raw.begin(), raw.end());
    }
    table.entries.push_back(std::move(entry));
  }
  const int exclusions = ClampCount(file.Int(keys::kScheduleCount, keys::kScheduleExcludeCountKey),
                                    int{kMaxScheduleExclusions});
  for (int i = 0; i < exclusions; ++i) {
    // A holiday that cannot be read is dropped: a day too many without schedules would be
    // worse than the one lost.
    if (const auto date = DateFromText(file.Text(keys::kScheduleExclude, i))) {
      table.exclusions.push_back(*date);
    }
  }
  return table;
}

void WriteScheduleTable(ProfileFile& file, const ScheduleTable& table) {
  const size_t entries = std::min(table.entries.size(), kMaxScheduleEntries);
  const size_t exclusions = std::min(table.exclusions.size(), kMaxScheduleExclusions);
  const bool blanked = BlankFrom(file, entries, exclusions);
  // A file that never held schedules is left as it was, byte for byte.
  const bool counted = !file.Text(keys::kScheduleCount, keys::kScheduleCountKey).empty() ||
                       !file.Text(keys::kScheduleCount, keys::kScheduleExcludeCountKey).empty();
  if (entries == 0 && exclusions == 0 && !counted && !blanked) return;
  file.PutInt(keys::kScheduleCount, keys::kScheduleCountKey, static_cast<int>(entries));
  file.PutInt(keys::kScheduleCount, keys::kScheduleExcludeCountKey, static_cast<int>(exclusions));
  for (size_t i = 0; i < entries; ++i) {
    const Fields fields = EntryFields(table.entries[i]);
    for (size_t f = 0; f < kFieldCount; ++f) {
      PutChanged(file, kFieldSections[f], static_cast<long long>(i), fields[f]);
    }
  }
  for (size_t i = 0; i < exclusions; ++i) {
    PutChanged(file, keys::kScheduleExclude, static_cast<long long>(i),
               DateText(table.exclusions[i]));
  }
}

}  // namespace tarnex
