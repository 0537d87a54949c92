// The backup file: the 60 keys of its section, written whole, other content kept.
#include "config/backup_file.h"

#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "platform/scratch_folder.h"

namespace tarnex {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

BackupValues Numbered() {
  BackupValues values;
  for (size_t key = 0; key < values.size(); ++key) {
    values[key] = key == 33 ? "a1b2c3" : "0" + std::to_string(key % 10);
  }
  return values;
}

TEST(BackupFile, WrittenAsAHandWrittenFileAndReadBack) {
  testing::ScratchFolder folder;
  const std::string path = folder.File("hall.log");
  const BackupValues values = Numbered();
  ASSERT_TRUE(WriteBackupFile(path, values));

  std::string hand = "[QX_MNT_Log_Data]\r\n";
  for (size_t key = 0; key < values.size(); ++key) {
    hand += std::to_string(key) + "=" + values[key] + "\r\n";
  }
  EXPECT_EQ(ReadBytes(path), hand);
  const BackupRead read = ReadBackupFile(path);
  EXPECT_EQ(read.values, values);
  EXPECT_EQ(read.emptyKeys, 0);
}

// A save over an older backup replaces its keys where they stand and keeps the rest; a
// failed replacement leaves the old file as it was.
TEST(BackupFile, RewriteKeepsOtherContentAndFailsWhole) {
  testing::ScratchFolder folder;
  const std::string path = folder.File("old.log");
  WriteBytes(path, "; tuned in hall B\n[Notes]\nby=ops\n[QX_MNT_Log_Data]\n5=ff\n0=ee\nextra=1\n");
  const BackupValues values = Numbered();
  ASSERT_TRUE(WriteBackupFile(path, values));
  const std::string written = ReadBytes(path);
  EXPECT_EQ(written.find("; tuned in hall B"), 0u);
  EXPECT_NE(written.find("by=ops"), std::string::npos);
  EXPECT_NE(written.find("extra=1"), std::string::npos);
  EXPECT_LT(written.find("5=05"), written.find("0=00"));  // in place
  EXPECT_EQ(ReadBackupFile(path).values, values);

  SetAtomicFileFaultHook([](AtomicFileStep step) { return step == AtomicFileStep::kRename; });
  BackupValues other = values;
  other[0] = "01";
  EXPECT_FALSE(WriteBackupFile(path, other));
  SetAtomicFileFaultHook({});
  EXPECT_EQ(ReadBytes(path), written);
}

// Missing keys and empty values count as empty; a long value is cut to 299 characters.
TEST(BackupFile, EmptyKeysAreCounted) {
  testing::ScratchFolder folder;
  const std::string path = folder.File("part.log");
  std::string text = "[QX_MNT_Log_Data]\n4=\n7=" + std::string(400, '1') + "\n";
  for (int key = 5; key < 60; ++key) {
    if (key != 7) text += std::to_string(key) + "=01\n";
  }
  WriteBytes(path, text);
  const BackupRead read = ReadBackupFile(path);
  EXPECT_EQ(read.emptyKeys, 5);
  EXPECT_EQ(read.values[7].size(), 299u);
  EXPECT_EQ(ReadBackupFile(folder.File("none.log")).emptyKeys, 60);
}

// A file of 64 KiB is read; one byte more and it is not read at all.
TEST(BackupFile, AFileLargerThanAnyBackupIsNotRead) {
  testing::ScratchFolder folder;
  const std::string path = folder.File("padded.log");
  std::string text = "[QX_MNT_Log_Data]\n0=01\n;";
  text += std::string(kBackupFileMaxBytes - text.size() - 1, 'x') + "\n";
  WriteBytes(path, text);
  BackupRead read = ReadBackupFile(path);
  EXPECT_FALSE(read.tooLarge);
  EXPECT_EQ(read.values[0], "01");

  WriteBytes(path, text + "\n");
  read = ReadBackupFile(path);
  EXPECT_TRUE(read.tooLarge);
  EXPECT_FALSE(read.readable);
  EXPECT_EQ(read.values[0], "");
}

}  // namespace
}  // namespace tarnex
