#include "config/schedule_entry.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "config/config_fixture.h"
#include "config/profile_file.h"

namespace tarnex {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

// Each accepted text must be written back as it was read; each refused one must give none.
template <typename Parse, typename Write>
void ExpectCodec(Parse parse, Write write, std::initializer_list<std::string_view> accepted,
                 std::initializer_list<std::string_view> refused) {
  for (const std::string_view text : accepted) {
    const auto value = parse(text);
    EXPECT_EQ(value ? write(*value) : "refused", text);
  }
  for (const std::string_view text : refused) EXPECT_FALSE(parse(text)) << '"' << text << '"';
}

TEST(ScheduleCodec, WritesBackWhatItReadsAndRefusesTheRest) {
  ExpectCodec(DateFromText, DateText, {"2024-02-29", "2000-02-29", "1970-01-01", "9999-12-31"},
              {"2026-02-29", "2100-02-29", "2026-13-01", "2026-1-01", "1969-12-31", "+026-01-01",
               "2026-04-31", "2026-00-10", "2026-01-01 "});
  ExpectCodec(MinuteFromText, MinuteText, {"00:00", "23:59"},
              {"24:00", "07:5", "-1:00", "07:60", "0730"});
  ExpectCodec(DaysFromText, DaysText, {"mon,sun", "tue"},
              {"mon,mon", "", "mon,", "Mon", "mon,,tue", "sun,sun,mon"});
  EXPECT_EQ(DaysText(*DaysFromText("sun,mon")), "mon,sun");
  ExpectCodec(ActionFromText, ActionText,
              {"POWER ON", "POWER OFF", "INPUT hdmi1", "INPUT av", "MUTE OFF", "CLEAR",
               "MESSAGE Back at 9", "MESSAGE " + std::string(80, 'x')},
              {"INPUT hdmi9", "INPUT ", "MESSAGE ", "MESSAGE a\tb", "power on", "POWER ON ",
               "MESSAGE " + std::string(81, 'x')});
  ExpectCodec(WhenFromText, WhenText, {"WEEKLY 07:30 mon,sun", "DATE 2026-03-01 18:00"},
              {"WEEKLY 07:30", "WEEKLY 07:30 ", "DATE 2026-03-01", "DATE 2026-03-01 18:00 ",
               "DATE 2026-02-29 18:00"});
}

using Row = std::array<std::string_view, 6>;  // name, target, action, when, flags, valid

// A network file's schedule sections, as a console with schedules writes them.
std::string StoredSchedules(const std::vector<Row>& rows) {
  constexpr Row kSections = {"NAME", "TARGET", "ACTION", "WHEN", "FLAGS", "VALID"};
  std::string text = "[SCHEDULECOUNT]\r\nm_docScheduleCount=" + std::to_string(rows.size()) +
                     "\r\nm_docScheduleExcludeCount=0";
  for (size_t f = 0; f < kSections.size(); ++f) {
    text.append("\r\n[SCHEDULE").append(kSections[f]).append("]");
    for (size_t i = 0; i < rows.size(); ++i) {
      text.append("\r\n").append(std::to_string(i)).append("=").append(rows[i][f]);
    }
  }
  return text + "\r\n";
}

// An older file, as a console without schedules leaves it.
constexpr std::string_view kOlderFile =
    "[VALUE]\r\nm_docSocketNumber=1\r\n\r\n[SINGLE]\r\n0=[Hall]10.0.0.5\r\n\r\n"
    "[GROUPNAME]\r\n0=Lobby\r\n\r\n";

class ScheduleTableTest : public testing::ConfigTest {
 protected:
  ScheduleTable Read() { return ReadScheduleTable(ProfileFile(NetworkFile())); }
  void Write(const ScheduleTable& table) {
    ProfileFile file(NetworkFile());
    WriteScheduleTable(file, table);
    ASSERT_TRUE(file.Save());
  }
};

TEST_F(ScheduleTableTest, AnOlderFileReadsAsNoneAndStaysAsItWas) {
  WriteBytes(NetworkFile(), std::string(kOlderFile));
  EXPECT_EQ(Read(), ScheduleTable{});
  Write({});
  EXPECT_EQ(ReadBytes(NetworkFile()), kOlderFile);
}

TEST_F(ScheduleTableTest, ATableGoesBackAndForthLeavingOtherSectionsAlone) {
  const std::string schedules = StoredSchedules(
      {{"Morning", "group:Lobby", "INPUT hdmi2", "WEEKLY 07:00 mon,sun", "enabled", "2026-01-01.."},
       {"Fair", "set:4", "MESSAGE Closed today", "DATE 2026-05-02 09:30", "disabled,enforce,gone",
        "..2026-06-30"}});
  const std::string file =
      std::string(kOlderFile) + schedules + "[Alarm]\r\nTO=ops@example.org\r\n";
  WriteBytes(NetworkFile(), file);
  ScheduleTable table = Read();
  ASSERT_EQ(table.entries.size(), 2u);
  EXPECT_EQ(table.entries[0].action.input, "hdmi2");
  EXPECT_TRUE(!table.entries[1].enabled && table.entries[1].enforceAtStart &&
              table.entries[1].targetGone && table.entries[1].unreadable.empty());
  Write(table);
  EXPECT_EQ(ReadBytes(NetworkFile()), file);
  table.exclusions = {{2026, 12, 25}, {2027, 1, 1}};
  Write(table);
  EXPECT_EQ(Read(), table);
  table.entries.pop_back();
  table.exclusions.pop_back();
  Write(table);
  EXPECT_EQ(Read(), table);
  const ProfileFile written(NetworkFile());
  EXPECT_EQ(written.Text("SCHEDULENAME", 1) + written.Text("SCHEDULEEXCLUDE", 1), "");
  EXPECT_TRUE(ReadBytes(NetworkFile()).starts_with(kOlderFile));
}

TEST_F(ScheduleTableTest, AnUnreadableEntryIsNamedAndKeptAsStoredWhileTheOthersRead) {
  const std::string action = "POWER " + std::string(60, 'x');
  const std::string file = StoredSchedules({
      {"Morning", "group:Lobby", "POWER ON", "WEEKLY 07:00 mon", "enabled", ""},
      {"A", "set:2", action, "WEEKLY 07:00 mon", "enabled", ""},
      {"'Quoted'", "room:1", "CLEAR", "WEEKLY 07:00 mon", "enabled", ""},
      {"B", "set:2", "CLEAR", "DAILY 07:00", "enabled", ""},
      {"C", "set:2", "CLEAR", "WEEKLY 07:00 mon", "enabled,gone,gone", ""},
      {"D", "set:2", "CLEAR", "WEEKLY 07:00 mon", "enabled", "2026-07-01..2026-06-30"},
      {"E", "set:2", "CLEAR", "WEEKLY 07:00 mon", "enabled", ".."},
      {"F\x1b[2J", "set:2", "CLEAR", "WEEKLY 07:00 mon", "enabled", ""},
      {"", "set:2", "CLEAR", "WEEKLY 07:00 mon", "enabled", ""},
      {"Morning", "set:2", "CLEAR", "WEEKLY 07:00 mon", "enabled", ""},
      {"G", "display:10.0.0.5", "MUTE ON", "WEEKLY 07:00 mon", "disabled,enforce,gone",
       "2026-01-01.."},
  });
  WriteBytes(NetworkFile(), file);
  const ScheduleTable read = Read();
  std::vector<std::string> reasons;
  for (const ScheduleEntry& entry : read.entries) reasons.push_back(entry.unreadable);
  EXPECT_EQ(
      reasons,
      (std::vector<std::string>{
          "", "unreadable action \"" + action.substr(0, 40) + "\"", "unreadable target \"room:1\"",
          "unreadable when \"DAILY 07:00\"", "unreadable flags \"enabled,gone,gone\"",
          "unreadable valid \"2026-07-01..2026-06-30\"", "unreadable valid \"..\"",
          "unreadable name \"F?[2J\"", "empty name", "duplicate name \"Morning\"", ""}));
  EXPECT_EQ(read.entries[1].stored[2], action);
  EXPECT_TRUE(read.entries[10].targetGone && read.entries[10].enforceAtStart);
  Write(read);
  EXPECT_EQ(ReadBytes(NetworkFile()), file);
}

TEST_F(ScheduleTableTest, AHugeCountIsClamped) {
  WriteBytes(NetworkFile(),
             "[SCHEDULECOUNT]\r\nm_docScheduleCount=999999\r\nm_docScheduleExcludeCount=-7\r\n");
  const ScheduleTable read = Read();
  EXPECT_EQ(read.entries.size(), kMaxScheduleEntries);
  EXPECT_EQ(read.entries.back().unreadable, "empty name");
  EXPECT_TRUE(read.exclusions.empty());
}

}  // namespace
}  // namespace tarnex
