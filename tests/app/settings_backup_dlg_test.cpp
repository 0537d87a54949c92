// "Save Configuration" and "Load Configuration" from the tree's menu: the file dialog
// answered by the test, the progress window beside the console, one run at a time.
#include "app/settings_backup_dlg.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProgressBar>
#include <thread>

#include "app/tree_context_menu.h"
#include "platform/scratch_folder.h"
#include "support/console_fixture.h"

namespace tarnex {
namespace {

using Command = TreeContextMenu::Command;
using testing::Loopback;

class SettingsBackupDlgTest : public testing::ConsoleFixture {
 protected:
  void SetUp() override {
    ConsoleFixture::SetUp();
    const auto present = [this](QWidget*, const QString& text) { messages.push_back(text); };
    backup = std::make_unique<CSettingsBackup>(*core, present, nullptr);
    backup->SetFileChooser([this](BackupFileDialog kind, QWidget*) {
      kinds.push_back(kind);
      return chosen;
    });
    menu = std::make_unique<TreeContextMenu>(*core, present, nullptr);
    menu->SetSettingsBackup(backup.get());
  }
  void TearDown() override {
    menu.reset();
    core->Stop();
    backup.reset();
    ConsoleFixture::TearDown();
  }

  void SelectDisplay(int row) { SelectItem(SingleItem(row)); }
  void Run(Command command) {
    menu->Refresh();
    menu->Run(menu->Action(command));
  }
  // Until the run has handed its end to the UI thread; bounded.
  void WaitForEnd() {
    for (int i = 0; i < 1000 && backup->Running(); ++i) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(backup->Running());
  }

  std::unique_ptr<CSettingsBackup> backup;
  std::unique_ptr<TreeContextMenu> menu;
  std::vector<QString> messages;
  std::vector<BackupFileDialog> kinds;
  QString chosen;
};

TEST_F(SettingsBackupDlgTest, OneRunAtATimeBesideTheWindow) {
  const std::string quiet = Loopback(1), good = Loopback(2);
  fleet.Add({.address = quiet});
  fleet.Add({.address = good});
  Configure({quiet, good});
  core->BuildTree();
  fleet.Find(quiet)->SetSilent(true);
  SelectDisplay(0);

  chosen.clear();  // Cancel: nothing starts
  Run(Command::kSaveConfiguration);
  EXPECT_FALSE(backup->Running());
  EXPECT_EQ(backup->ProgressWindow(), nullptr);

  chosen = QString::fromStdString(folder + "quiet.log");
  Run(Command::kSaveConfiguration);
  ASSERT_TRUE(backup->Running());
  ASSERT_NE(backup->ProgressWindow(), nullptr);
  EXPECT_EQ(backup->ProgressWindow()->windowTitle(), "Save Configuration Status");
  EXPECT_FALSE(backup->ProgressWindow()->isModal());
  Run(Command::kSaveConfiguration);
  Run(Command::kLoadConfiguration);
  EXPECT_EQ(messages, (std::vector<QString>(2, CSettingsBackup::kBusyText)));
  EXPECT_EQ(kinds, (std::vector<BackupFileDialog>(2, BackupFileDialog::kSave)));
  WaitForEnd();
  EXPECT_EQ(messages.back(),
            QString::fromStdString("Save Configuration failed: " + quiet + " did not answer"));
  EXPECT_EQ(::access((folder + "quiet.log").c_str(), F_OK), -1);

  SelectDisplay(1);
  chosen = QString::fromStdString(folder + "good.log");
  Run(Command::kSaveConfiguration);
  WaitForEnd();
  EXPECT_EQ(messages.back(), "Finish Save Configuration");

  fleet.ClearLog();
  Run(Command::kLoadConfiguration);
  ASSERT_NE(backup->ProgressWindow(), nullptr);
  EXPECT_EQ(backup->ProgressWindow()->windowTitle(), "Load Configuration Status");
  WaitForEnd();
  EXPECT_EQ(messages.back(), "Finish Configuration Setting");
  EXPECT_EQ(fleet.CommandsTo(good).size(), 60u);
}

// Without a target no file is asked for. The file is read on the worker, not on the window's
// thread: one with 6 keys missing, or one larger than any backup, is refused there before
// anything is sent.
TEST_F(SettingsBackupDlgTest, AFileThatIsNoBackupIsRefusedBeforeAnythingIsSent) {
  const std::string display = Loopback(3);
  fleet.Add({.address = display});
  Configure({display});
  core->BuildTree();
  backup->LoadConfiguration();
  EXPECT_EQ(messages, std::vector<QString>{CSettingsBackup::kNoTargetText});
  EXPECT_TRUE(kinds.empty());

  SelectDisplay(0);
  std::string text = "[QX_MNT_Log_Data]\n";
  for (int key = 6; key < 60; ++key) text += std::to_string(key) + "=01\n";
  testing::WriteBytes(folder + "short.log", text);
  for (int key = 0; key < 6; ++key) text += std::to_string(key) + "=01\n";
  text += ";" + std::string(kBackupFileMaxBytes - text.size(), 'x') + "\n";
  testing::WriteBytes(folder + "large.log", text);
  for (const char* name : {"short.log", "large.log"}) {
    chosen = QString::fromStdString(folder + name);
    const size_t told = messages.size();
    Run(Command::kLoadConfiguration);
    EXPECT_TRUE(backup->Running());
    EXPECT_EQ(messages.size(), told);  // the answer comes from the worker
    WaitForEnd();
  }

  EXPECT_EQ(messages,
            (std::vector<QString>{CSettingsBackup::kNoTargetText, CSettingsBackup::kNotABackupText,
                                  CSettingsBackup::kTooLargeText}));
  EXPECT_EQ(kinds, std::vector<BackupFileDialog>(2, BackupFileDialog::kOpen));
  EXPECT_TRUE(fleet.CommandsTo(display).empty());
}

// A close while a save waits for its display ends the worker at once and writes nothing.
TEST_F(SettingsBackupDlgTest, AClosedSaveWritesNothing) {
  const std::string display = Loopback(4);
  fleet.Add({.address = display, .delayMs = 100});
  Configure({display});
  core->BuildTree();
  SelectDisplay(0);
  chosen = QString::fromStdString(folder + "closed.log");
  Run(Command::kSaveConfiguration);
  ASSERT_TRUE(CommandsArrive(display, 1));

  core->Stop();
  backup.reset();

  EXPECT_EQ(::access((folder + "closed.log").c_str(), F_OK), -1);
  EXPECT_LT(fleet.CommandsTo(display).size(), 60u);
}

}  // namespace
}  // namespace tarnex
