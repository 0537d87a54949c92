// Saving a display's settings and restoring them, against simulated displays.
#include "monitor/settings_backup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <regex>

#include "monitor/backup_codec.h"
#include "platform/scratch_folder.h"
#include "support/console_fixture.h"
#include "support/jobs_held.h"

namespace tarnex {
namespace {

using testing::Loopback;
using testing::ReadBytes;

class SettingsBackupTest : public testing::ConsoleFixture {
 protected:
  SaveOutcome Save(int row, const std::string& path) {
    return SaveSettings(*core, core->Transaction().DisplayTarget(row), path, progress);
  }
  // The commands a restore of `values` sends, in key order, for the set ID.
  static std::vector<std::string> Commands(const BackupValues& values,
                                           const std::string& setId = "01") {
    std::vector<std::string> commands;
    for (size_t key = 0; key < values.size(); ++key) {
      if (auto command = RestoreCommand(key, values[key])) {
        commands.push_back(command->replace(3, 2, setId));
      }
    }
    return commands;
  }
  std::string File(const char* name) const { return folder + name; }
  // The history lines of restores, without the connects of the start.
  std::vector<std::string> RestoreLines(const char* file = "Network_HistoryReport.txt") const {
    std::vector<std::string> lines;
    for (const std::string& line : Operations(file)) {
      if (line.find("Connected") == std::string::npos) lines.push_back(line);
    }
    return lines;
  }

  BackupProgress progress;
};

// The second display ends with the first one's settings: a save of it gives the same file.
// Key 33 goes as three pairs, keys 42 and 51 as "00" and a pair; the power and input replies
// write their history lines.
TEST_F(SettingsBackupTest, SaveThenRestoreCopiesOneDisplayToAnother) {
  const std::string tuned = Loopback(1), fresh = Loopback(2);
  fleet.Add({.address = tuned, .settings = {{"kd", "01"}, {"kg", "40"}, {"kb", "02"}}});
  fleet.Add({.address = fresh});
  Configure({tuned, fresh});
  core->BuildTree();
  const DisplayId tunedId = core->Lock()->IdAt(0);
  for (const char* command : {"fa 01 0a 0b 0c\n", "fc 01 00 7f\n", "fe 01 03 12 34\n"}) {
    ASSERT_TRUE(core->Transaction().SendCommandToDisplay(tunedId, command));
  }
  std::vector<int> counters;
  progress.SetObserver([&](int current, int) { counters.push_back(current); });

  const SaveOutcome saved = Save(0, File("tuned.log"));
  EXPECT_EQ(SaveMessage(saved), "Finish Save Configuration");
  EXPECT_EQ(counters.back(), 100);
  EXPECT_EQ(counters[counters.size() - 2], 96);
  const BackupRead read = ReadBackupFile(File("tuned.log"));
  EXPECT_EQ(read.values[33], "0a0b0c");
  EXPECT_EQ(read.values[42], "007f");
  EXPECT_EQ(read.values[46], "031234");

  fleet.ClearLog();
  // The lines are there while the restore goes on, once key 2 is answered.
  std::vector<std::string> whileRestoring;
  progress.SetObserver([&](int current, int) {
    if (current == 6) whileRestoring = RestoreLines();
  });
  const RestoreReport report =
      RestoreSettings(*core, core->Transaction().DisplayTarget(1), read.values, progress);
  EXPECT_EQ(RestoreMessage(report), "Finish Configuration Setting");
  const std::vector<std::string> sent = fleet.CommandsTo(fresh);
  EXPECT_EQ(sent, Commands(read.values));
  EXPECT_EQ(sent[33], "fa 01 0a 0b 0c\n");
  EXPECT_EQ(sent[42], "fc 01 00 7f\n");
  EXPECT_EQ(sent[51], "fb 01 00 00\n");
  EXPECT_EQ(RestoreLines(),
            (std::vector<std::string>{fresh + " Power On", fresh + " Input Change : AV"}));
  EXPECT_EQ(whileRestoring, RestoreLines());

  ASSERT_EQ(Save(1, File("fresh.log")).result, SaveResult::kSaved);
  EXPECT_EQ(ReadBytes(File("fresh.log")), ReadBytes(File("tuned.log")));
}

// A display that stops answering, or answers only odd-length replies, leaves no file and an
// older file as it was; each odd reply is asked for three times at most.
TEST_F(SettingsBackupTest, AFailedSaveWritesNothing) {
  const std::string silent = Loopback(3), odd = Loopback(4);
  fleet.Add({.address = silent});
  fleet.Add({.address = odd, .oddLength = true});
  Configure({silent, odd});
  core->BuildTree();
  testing::WriteBytes(File("old.log"), "[QX_MNT_Log_Data]\n0=01\n");
  fleet.Find(silent)->SetSilent(true);

  const SaveOutcome lost = Save(0, File("old.log"));
  EXPECT_EQ(SaveMessage(lost), "Save Configuration failed: " + silent + " did not answer");
  EXPECT_EQ(ReadBytes(File("old.log")), "[QX_MNT_Log_Data]\n0=01\n");

  const SaveOutcome garbled = Save(1, File("odd.log"));
  EXPECT_EQ(SaveMessage(garbled),
            "Save Configuration failed: " + odd + " gave no value for 60 of 60 settings");
  EXPECT_EQ(fleet.CommandsTo(odd).size(), 180u);
  EXPECT_EQ(::access(File("odd.log").c_str(), F_OK), -1);
}

// Every member at once, each its commands in key order; a display listed twice is restored
// twice, and each listing writes its history line. The total bar moves by member.
TEST_F(SettingsBackupTest, AGroupIsRestoredInParallelInTableOrder) {
  const std::string a = Loopback(5), b = Loopback(6), c = Loopback(7);
  for (const std::string& address : {a, b, c}) fleet.Add({.address = address});
  Configure({a, b, c}, {{"Hall", {"[1]" + c, "[2]" + b, "[3]" + a, "[4]" + b}}});
  core->BuildTree();
  ASSERT_EQ(Save(0, File("a.log")).result, SaveResult::kSaved);
  const BackupValues values = ReadBackupFile(File("a.log")).values;
  fleet.ClearLog();
  std::vector<int> totals;
  progress.SetObserver([&](int, int total) {
    if (totals.empty() || totals.back() != total) totals.push_back(total);
  });

  const RestoreReport report = RestoreSettings(*core, SelectGroup(), values, progress);

  EXPECT_EQ(RestoreMessage(report), "Finish Configuration Setting");
  EXPECT_EQ(totals, (std::vector<int>{0, 25, 50, 75, 100}));
  const std::vector<std::string> once = Commands(values);
  std::vector<std::string> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(fleet.CommandsTo(a), once);
  EXPECT_EQ(fleet.CommandsTo(b), twice);
  EXPECT_EQ(fleet.CommandsTo(c), once);
  std::vector<std::string> lines = RestoreLines();
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{a + " Power On", b + " Power On", b + " Power On",
                                             c + " Power On"}));
}

// A save and a restore are display work like any other: their exchanges run on the console's
// workers, in their turn behind a job of the same displays, and a close ends the wait at once.
TEST_F(SettingsBackupTest, ARestoreToAGroupRunsAsAConsoleJob) {
  const std::string a = Loopback(9), b = Loopback(10);
  for (const std::string& address : {a, b}) fleet.Add({.address = address});
  Configure({a, b}, {{"Hall", {"[1]" + a, "[2]" + b}}});
  core->BuildTree();
  std::vector<bool> saveOnWorker;
  progress.SetObserver([&](int, int) { saveOnWorker.push_back(core->Jobs().OnWorker()); });
  ASSERT_EQ(Save(0, File("a.log")).result, SaveResult::kSaved);
  EXPECT_EQ(std::count(saveOnWorker.begin(), saveOnWorker.end(), true), 60);
  const BackupValues values = ReadBackupFile(File("a.log")).values;
  const CommandTarget hall = SelectGroup();
  std::vector<bool> onWorker;
  progress.SetObserver([&](int, int) { onWorker.push_back(core->Jobs().OnWorker()); });

  EXPECT_EQ(RestoreMessage(RestoreSettings(*core, hall, values, progress)),
            "Finish Configuration Setting");
  ASSERT_GT(onWorker.size(), 2u);  // the first and last counters are the waiting thread's
  EXPECT_EQ(std::count(onWorker.begin(), onWorker.end(), false), 2);

  fleet.ClearLog();
  testing::JobsHeld held(core->Jobs());
  BackupProgress unobserved;
  auto restore = std::async(std::launch::async,
                            [&] { return RestoreSettings(*core, hall, values, unobserved); });
  EXPECT_EQ(restore.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  const auto stopped = std::chrono::steady_clock::now();
  core->Stop();
  const RestoreReport report = restore.get();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(1));
  EXPECT_TRUE(report.cancelled);
  EXPECT_EQ(RestoreMessage(report), "");
  EXPECT_TRUE(fleet.CommandsTo(a).empty());
}

// Values that are no hex pairs, or more pairs than their key's command has fields, send
// nothing for their key, and the message says which; the display refuses the three-pair
// values it is sent, and the message says so too.
TEST_F(SettingsBackupTest, AHostileFileSendsOnlyHexPairs) {
  const std::string target = Loopback(8);
  fleet.Add({.address = target});
  Configure({target});
  core->BuildTree();
  std::string text = "[QX_MNT_Log_Data]\n0=01\n1=" + std::string(299, '0') +
                     "\n2=0 1\n3=zz\n4=01\r5=\"0a\"\n6=%s\n7=0a\\n\n8=\t02\t\n";
  for (int key = 9; key < 60; ++key) text += std::to_string(key) + "=" + "0a0b0c" + "\n";
  testing::WriteBytes(File("hostile.log"), text);
  const BackupRead read = ReadBackupFile(File("hostile.log"));
  ASSERT_LT(read.emptyKeys, 6);

  const RestoreReport report =
      RestoreSettings(*core, core->Transaction().DisplayTarget(0), read.values, progress);

  const std::regex shape("[a-z$]{2} 01( [0-9a-fA-F]{2}){1,3}\n");
  for (const std::string& command : fleet.CommandsTo(target)) {
    EXPECT_TRUE(std::regex_match(command, shape)) << command;
  }
  EXPECT_EQ(fleet.CommandsTo(target).size(), Commands(read.values).size());
  EXPECT_EQ(fleet.CommandsTo(target)[4], "fa 01 0a 0b 0c\n");  // keys 9 to 32 take one field
  const std::string refused = target + " (refused 17 of 21 settings)";
  EXPECT_EQ(
      RestoreMessage(report),
      "Configuration Setting incomplete\nNot restored: " + refused +
          "\nNot sent for want of a value: keys 1, 2, 3, 6, 7, 9, 10, 11, 12, 13 and 29 more");
}

// On the serial line the open set IDs are restored one after another; one not open is not
// asked, and one that stays silent is asked no further.
TEST_F(SettingsBackupTest, ASerialGroupIsRestoredMemberAfterMember) {
  testing::SimSerialChannel line({"05"});
  ConfigureSerialGroup({"[1]PJTR 5", "[2]PJTR 7", "[3]PJTR 9"});
  doc->m_docSerialConnectState[5] = 1;
  doc->m_docSerialConnectState[9] = 1;
  core->SetSerialChannel(&line);
  core->BuildTree();
  BackupValues values;
  for (size_t key = 0; key < values.size(); ++key) {
    const size_t chars = BackupKeyFieldChars(key);
    values[key] = chars == 2 ? "01" : chars == 4 ? "0001" : "000102";
  }

  const RestoreReport report = RestoreSettings(*core, SelectGroup(), values, progress);

  std::vector<std::string> expected = Commands(values, "05");
  expected.push_back("ka 09 01\n");
  EXPECT_EQ(line.written_, expected);
  EXPECT_EQ(RestoreMessage(report),
            "Configuration Setting incomplete\nNot restored: set ID 07 (down), set ID 09 (silent)");
  EXPECT_EQ(Operations("Serial_HistoryReport.txt"), std::vector<std::string>{"5 Power On"});
}

}  // namespace
}  // namespace tarnex
