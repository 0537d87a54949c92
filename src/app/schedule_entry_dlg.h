#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string>

#include "config/schedule_entry.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace tarnex {

// One schedule entry, made or changed. OK hands the entry to `keep`, which stores it or says
// why it cannot (shown under the fields, the dialog stays open); Cancel changes nothing.
class CScheduleEntryDlg : public QDialog {
 public:
  using Keep = std::function<std::string(const ScheduleEntry&)>;

  CScheduleEntryDlg(const ScheduleEntry& entry, const QStringList& targets, Keep keep,
                    QWidget* parent = nullptr);

  // What the fields say now.
  ScheduleEntry Entry() const;

  QLineEdit* NameEdit() const { return m_name; }
  QComboBox* TargetBox() const { return m_target; }
  QComboBox* ActionBox() const { return m_action; }
  QComboBox* InputBox() const { return m_input; }
  QLineEdit* TextEdit() const { return m_text; }
  QRadioButton* WeeklyButton() const { return m_weekly; }
  QRadioButton* DateButton() const { return m_once; }
  QTimeEdit* TimeEdit() const { return m_time; }
  QCheckBox* DayBox(int day) const { return m_days[static_cast<size_t>(day)]; }
  QDateEdit* DateEdit() const { return m_date; }
  QPushButton* OkButton() const { return m_ok; }
  QLabel* ProblemLabel() const { return m_problem; }

 private:
  void Build(const QStringList& targets);
  QWidget* BuildWhen();
  QWidget* BuildValidity();
  void Show(const ScheduleEntry& entry);
  void FollowChoices();
  void OnOk();

  Keep m_keep;
  QLineEdit* m_name = nullptr;
  QCheckBox* m_enabled = nullptr;
  QComboBox* m_target = nullptr;
  QComboBox* m_action = nullptr;
  QComboBox* m_input = nullptr;
  QLineEdit* m_text = nullptr;
  QRadioButton* m_weekly = nullptr;
  QRadioButton* m_once = nullptr;
  QTimeEdit* m_time = nullptr;
  std::array<QCheckBox*, 7> m_days{};
  QDateEdit* m_date = nullptr;
  QCheckBox* m_hasFrom = nullptr;
  QDateEdit* m_from = nullptr;
  QCheckBox* m_hasTo = nullptr;
  QDateEdit* m_to = nullptr;
  QCheckBox* m_enforce = nullptr;
  QLabel* m_problem = nullptr;
  QPushButton* m_ok = nullptr;
  QPushButton* m_cancel = nullptr;
};

QDate QDateOf(const LocalDate& date);
LocalDate LocalDateFrom(const QDate& date);

}  // namespace tarnex
