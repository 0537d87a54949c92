#include "app/schedule_entry_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tarnex {
namespace {

struct ActionChoice {
  const char* shown;
  ScheduleActionKind kind;
};
constexpr std::array<ActionChoice, 7> kActions = {{
    {"Power On", ScheduleActionKind::kPowerOn},
    {"Power Off", ScheduleActionKind::kPowerOff},
    {"Input", ScheduleActionKind::kInput},
    {"Screen Mute On", ScheduleActionKind::kMuteOn},
    {"Screen Mute Off", ScheduleActionKind::kMuteOff},
    {"Message", ScheduleActionKind::kMessage},
    {"Clear Message", ScheduleActionKind::kClear},
}};
constexpr std::array<const char*, 8> kInputs = {"av",   "component1", "component2", "rgb1",
                                                "rgb2", "hdmi1",      "hdmi2",      "hdmi3"};
// Reached with Tab: the form's own keys take the letters.
constexpr std::array<const char*, 7> kDayNames = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setAccessibleName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

QDate QDateOf(const LocalDate& date) {
  return QDate(date.year, date.month, date.day);
}

LocalDate LocalDateFrom(const QDate& date) {
  return {date.year(), date.month(), date.day()};
}

CScheduleEntryDlg::CScheduleEntryDlg(const ScheduleEntry& entry, const QStringList& targets,
                                     Keep keep, QWidget* parent)
    : QDialog(parent), m_keep(std::move(keep)) {
  setWindowTitle(QStringLiteral("Schedule Entry"));
  Build(targets);
  Show(entry);
  FollowChoices();
  m_name->setFocus();
}

void CScheduleEntryDlg::Build(const QStringList& targets) {
  m_name = Named(new QLineEdit(this), "Name");
  m_name->setMaxLength(64);
  m_enabled = Named(new QCheckBox(QStringLiteral("&Enabled"), this), "Enabled");
  m_target = Named(new QComboBox(this), "Target");
  m_target->setEditable(true);
  m_target->addItems(targets);
  m_action = Named(new QComboBox(this), "Action");
  for (const ActionChoice& choice : kActions) m_action->addItem(QString::fromLatin1(choice.shown));
  m_input = Named(new QComboBox(this), "Input");
  for (const char* input : kInputs) m_input->addItem(QString::fromLatin1(input));
  m_text = Named(new QLineEdit(this), "Message text");
  m_text->setMaxLength(80);
  m_enforce = Named(new QCheckBox(QStringLiteral("Enforce at &start"), this), "Enforce at start");
  m_problem = Named(new QLabel(this), "Problem");
  m_problem->setWordWrap(true);
  m_ok = Named(new QPushButton(QStringLiteral("OK"), this), "OK");
  m_cancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "Cancel");
  m_ok->setDefault(true);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Name:"), m_name);
  form->addRow(QString(), m_enabled);
  form->addRow(QStringLiteral("&Target:"), m_target);
  form->addRow(QStringLiteral("A&ction:"), m_action);
  form->addRow(QStringLiteral("&Input:"), m_input);
  form->addRow(QStringLiteral("Te&xt:"), m_text);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_ok);
  buttons->addWidget(m_cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(BuildWhen());
  layout->addWidget(BuildValidity());
  layout->addWidget(m_enforce);
  layout->addWidget(m_problem);
  layout->addLayout(buttons);
  connect(m_ok, &QPushButton::clicked, this, &CScheduleEntryDlg::OnOk);
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* CScheduleEntryDlg::BuildWhen() {
  auto* box = new QGroupBox(QStringLiteral("When"), this);
  m_weekly = Named(new QRadioButton(QStringLiteral("&Weekly"), box), "Weekly");
  m_once = Named(new QRadioButton(QStringLiteral("On &one date"), box), "On one date");
  m_time = Named(new QTimeEdit(box), "Time");
  m_time->setDisplayFormat(QStringLiteral("HH:mm"));
  m_date = Named(new QDateEdit(box), "Date");
  m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  m_date->setCalendarPopup(true);
  auto* grid = new QGridLayout(box);
  grid->addWidget(m_weekly, 0, 0);
  grid->addWidget(m_once, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Time:"), box), 1, 0);
  grid->addWidget(m_time, 1, 1);
  auto* days = new QHBoxLayout;
  for (size_t day = 0; day < m_days.size(); ++day) {
    m_days[day] = new QCheckBox(QString::fromLatin1(kDayNames[day]), box);
    m_days[day]->setAccessibleName(QString::fromLatin1(kDayNames[day]));
    days->addWidget(m_days[day]);
  }
  grid->addLayout(days, 2, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Date:"), box), 3, 0);
  grid->addWidget(m_date, 3, 1);
  return box;
}

QWidget* CScheduleEntryDlg::BuildValidity() {
  auto* box = new QGroupBox(QStringLiteral("Valid"), this);
  m_hasFrom = Named(new QCheckBox(QStringLiteral("&From"), box), "Valid from");
  m_from = Named(new QDateEdit(box), "Valid from date");
  m_hasTo = Named(new QCheckBox(QStringLiteral("T&o"), box), "Valid to");
  m_to = Named(new QDateEdit(box), "Valid to date");
  for (QDateEdit* edit : {m_from, m_to}) {
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setCalendarPopup(true);
  }
  auto* row = new QHBoxLayout(box);
  row->addWidget(m_hasFrom);
  row->addWidget(m_from);
  row->addWidget(m_hasTo);
  row->addWidget(m_to);
  return box;
}

void CScheduleEntryDlg::Show(const ScheduleEntry& entry) {
  m_name->setText(QString::fromStdString(entry.name));
  m_enabled->setChecked(entry.enabled);
  m_target->setEditText(QString::fromStdString(entry.target));
  for (size_t i = 0; i < kActions.size(); ++i) {
    if (kActions[i].kind == entry.action.kind) m_action->setCurrentIndex(static_cast<int>(i));
  }
  const int input = m_input->findText(QString::fromStdString(entry.action.input));
  m_input->setCurrentIndex(std::max(0, input));
  m_text->setText(QString::fromStdString(entry.action.text));
  m_weekly->setChecked(!entry.when.date);
  m_once->setChecked(entry.when.date.has_value());
  m_time->setTime(QTime(entry.when.minuteOfDay / 60, entry.when.minuteOfDay % 60));
  for (size_t day = 0; day < m_days.size(); ++day)
    m_days[day]->setChecked((entry.when.days & (1U << day)) != 0);
  const QDate today = QDate::currentDate();
  m_date->setDate(entry.when.date ? QDateOf(*entry.when.date) : today);
  m_hasFrom->setChecked(entry.validFrom.has_value());
  m_from->setDate(entry.validFrom ? QDateOf(*entry.validFrom) : today);
  m_hasTo->setChecked(entry.validTo.has_value());
  m_to->setDate(entry.validTo ? QDateOf(*entry.validTo) : today);
  m_enforce->setChecked(entry.enforceAtStart);
}

// Only the fields the choices give a meaning take input.
void CScheduleEntryDlg::FollowChoices() {
  const auto follow = [this] {
    const ScheduleActionKind kind = kActions[static_cast<size_t>(m_action->currentIndex())].kind;
    m_input->setEnabled(kind == ScheduleActionKind::kInput);
    m_text->setEnabled(kind == ScheduleActionKind::kMessage);
    const bool weekly = m_weekly->isChecked();
    for (QCheckBox* day : m_days) day->setEnabled(weekly);
    m_date->setEnabled(!weekly);
    m_from->setEnabled(m_hasFrom->isChecked());
    m_to->setEnabled(m_hasTo->isChecked());
  };
  connect(m_action, &QComboBox::currentIndexChanged, this, follow);
  connect(m_weekly, &QRadioButton::toggled, this, follow);
  connect(m_hasFrom, &QCheckBox::toggled, this, follow);
  connect(m_hasTo, &QCheckBox::toggled, this, follow);
  follow();
}

ScheduleEntry CScheduleEntryDlg::Entry() const {
  ScheduleEntry entry;
  entry.name = m_name->text().trimmed().toStdString();
  entry.enabled = m_enabled->isChecked();
  entry.target = m_target->currentText().trimmed().toStdString();
  entry.action.kind = kActions[static_cast<size_t>(m_action->currentIndex())].kind;
  if (entry.action.kind == ScheduleActionKind::kInput)
    entry.action.input = m_input->currentText().toStdString();
  if (entry.action.kind == ScheduleActionKind::kMessage)
    entry.action.text = m_text->text().toStdString();
  entry.when.minuteOfDay = m_time->time().hour() * 60 + m_time->time().minute();
  if (m_weekly->isChecked()) {
    for (size_t day = 0; day < m_days.size(); ++day) {
      if (m_days[day]->isChecked()) entry.when.days |= static_cast<std::uint8_t>(1U << day);
    }
  } else {
    entry.when.date = LocalDateFrom(m_date->date());
  }
  if (m_hasFrom->isChecked()) entry.validFrom = LocalDateFrom(m_from->date());
  if (m_hasTo->isChecked()) entry.validTo = LocalDateFrom(m_to->date());
  entry.enforceAtStart = m_enforce->isChecked();
  return entry;
}

void CScheduleEntryDlg::OnOk() {
  const std::string problem = m_keep ? m_keep(Entry()) : std::string();
  if (problem.empty()) {
    accept();
    return;
  }
  m_problem->setText(QString::fromStdString(problem));
}

}  // namespace tarnex
