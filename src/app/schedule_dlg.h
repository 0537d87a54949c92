#pragma once

#include <QDialog>
#include <ctime>
#include <functional>

#include "config/schedule_entry.h"

class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace tarnex {

class CConsoleCore;
class ScheduleKeeper;

// The "Schedule" dialog of the Tools menu: the entries with their next run, an agenda of the
// next seven days, the last runs member by member, and the exclusion dates every entry keeps.
// Edits go to the document's table at once (written at the close) and wake the keeper; all
// of it works from the keyboard.
class CScheduleDlg : public QDialog {
 public:
  using Clock = std::function<std::time_t()>;

  CScheduleDlg(CConsoleCore& core, ScheduleKeeper* keeper, Clock clock, QWidget* parent = nullptr);

  QTreeWidget* Entries() const { return m_entries; }
  QTreeWidget* Agenda() const { return m_agenda; }
  QTreeWidget* RunLog() const { return m_log; }
  QListWidget* Exclusions() const { return m_exclusions; }
  QPushButton* AddButton() const { return m_add; }
  QPushButton* EditButton() const { return m_edit; }
  QPushButton* RemoveButton() const { return m_remove; }
  QPushButton* EnableButton() const { return m_enable; }
  QLabel* ProblemLabel() const { return m_problem; }

  // Fills every list from the table and the keeper's log.
  void Refresh();

 private:
  void Build();
  QWidget* BuildExclusions();
  void FillEntries(const ScheduleTable& table, std::time_t now);
  void FillAgenda(const ScheduleTable& table, std::time_t now);
  void FillLog();
  void FillExclusions(const ScheduleTable& table);
  QStringList Targets() const;
  std::string SelectedName() const;
  void OnAdd();
  void OnEdit();
  void OnRemove();
  void OnEnable();
  void OnAddDate();
  void OnRemoveDate();
  void Edited(const std::string& problem);
  ScheduleTable Table() const;

  CConsoleCore& m_core;
  ScheduleKeeper* m_keeper;
  Clock m_clock;
  QTreeWidget* m_entries = nullptr;
  QTreeWidget* m_agenda = nullptr;
  QTreeWidget* m_log = nullptr;
  QListWidget* m_exclusions = nullptr;
  QDateEdit* m_newDate = nullptr;
  QPushButton* m_add = nullptr;
  QPushButton* m_edit = nullptr;
  QPushButton* m_remove = nullptr;
  QPushButton* m_enable = nullptr;
  QPushButton* m_addDate = nullptr;
  QPushButton* m_removeDate = nullptr;
  QPushButton* m_close = nullptr;
  QLabel* m_problem = nullptr;
  QString m_newestRun;  // the newest run the log shows
};

}  // namespace tarnex
