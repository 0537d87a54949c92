// The Schedule dialog on a console core, offscreen: entries made, refused, switched off and
// removed as an operator does it, with what the lists then show.
#include "app/schedule_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "app/schedule_entry_dlg.h"
#include "console/console_core.h"
#include "platform/scratch_folder.h"
#include "support/recording_ui_host.h"

namespace tarnex {
namespace {

// 2026-12-11 12:00 local time, a Friday.
std::time_t FridayNoon() {
  tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 11;
  local.tm_mday = 11;
  local.tm_hour = 12;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

class ScheduleDlgTest : public ::testing::Test {
 protected:
  ScheduleDlgTest() {
    ::setenv("TARNEX_CONFIG_DIR", folder.Path().c_str(), 1);
    doc.OnNewDocument();
    dialog = std::make_unique<CScheduleDlg>(core, nullptr, [] { return FridayNoon(); });
    dialog->show();
  }
  ~ScheduleDlgTest() override { ::unsetenv("TARNEX_CONFIG_DIR"); }

  // Presses `button`; the entry dialog it opens gets `fill`, then OK, and — when `then` is
  // given — is looked at before Cancel ends it.
  void Edit(QPushButton* button, std::function<void(CScheduleEntryDlg&)> fill,
            std::function<void(CScheduleEntryDlg&)> then = {}) {
    QTimer::singleShot(0, [fill, then] {
      auto* entry = dynamic_cast<CScheduleEntryDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(entry, nullptr);
      fill(*entry);
      QTest::mouseClick(entry->OkButton(), Qt::LeftButton);
      if (!then) return;
      then(*entry);
      entry->reject();
    });
    QTest::mouseClick(button, Qt::LeftButton);
  }
  static void Evening(CScheduleEntryDlg& entry) {
    entry.NameEdit()->setText("Evening");
    entry.TargetBox()->setEditText("group:Hall");
    entry.ActionBox()->setCurrentIndex(1);  // Power Off
    entry.TimeEdit()->setTime(QTime(22, 0));
    for (int day = 0; day < 7; ++day) entry.DayBox(day)->setChecked(day == 0 || day == 4);
  }
  QString Cell(QTreeWidget* list, int row, int column) const {
    const QTreeWidgetItem* item = list->topLevelItem(row);
    return item != nullptr ? item->text(column) : QString();
  }

  testing::ScratchFolder folder;
  COsprelNetworkManagerDoc doc;
  testing::RecordingUiHost ui;
  CConsoleCore core{doc, ui};
  std::unique_ptr<CScheduleDlg> dialog;
};

TEST_F(ScheduleDlgTest, AnEntryIsMadeWithItsNextRunAndAgendaAndANameIsNotTakenTwice) {
  Edit(dialog->AddButton(), Evening);
  ASSERT_EQ(dialog->Entries()->topLevelItemCount(), 1);
  EXPECT_EQ(Cell(dialog->Entries(), 0, 4), "WEEKLY 22:00 mon,fri");
  EXPECT_EQ(Cell(dialog->Entries(), 0, 6), "2026-12-11 22:00");
  // Friday and Monday within the seven days.
  ASSERT_EQ(dialog->Agenda()->topLevelItemCount(), 2);
  EXPECT_EQ(Cell(dialog->Agenda(), 1, 0), "2026-12-14 22:00");

  QString refused;
  Edit(dialog->AddButton(), Evening,
       [&refused](CScheduleEntryDlg& entry) { refused = entry.ProblemLabel()->text(); });
  EXPECT_EQ(refused, "an entry \"Evening\" exists already");
  EXPECT_EQ(dialog->Entries()->topLevelItemCount(), 1);
}

TEST_F(ScheduleDlgTest, AnEntryIsSwitchedOffAndRemoved) {
  Edit(dialog->AddButton(), Evening);
  QTest::mouseClick(dialog->EnableButton(), Qt::LeftButton);
  EXPECT_EQ(Cell(dialog->Entries(), 0, 1), "off");
  EXPECT_EQ(Cell(dialog->Entries(), 0, 6), "none");
  EXPECT_EQ(dialog->Agenda()->topLevelItemCount(), 0);
  EXPECT_FALSE(core.Lock()->Doc().m_docSchedules.entries.at(0).enabled);
  QTest::mouseClick(dialog->RemoveButton(), Qt::LeftButton);
  EXPECT_EQ(dialog->Entries()->topLevelItemCount(), 0);
  EXPECT_TRUE(core.Lock()->Doc().m_docSchedules.entries.empty());
}

}  // namespace
}  // namespace tarnex
