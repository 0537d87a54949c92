#include "app/schedule_dlg.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/schedule_entry_dlg.h"
#include "console/console_core.h"
#include "monitor/schedule_book.h"
#include "scripting/schedule_edit.h"
#include "scripting/schedule_runner.h"

namespace tarnex {
namespace {

constexpr std::time_t kAgendaSpan = 7 * 24 * 60 * 60;
constexpr size_t kAgendaRows = 500;
constexpr int kLogRefreshMs = 1000;

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QTreeWidget* ListTable(QWidget* parent, const char* name, const QStringList& columns) {
  auto* table = new QTreeWidget(parent);
  table->setAccessibleName(QString::fromLatin1(name));
  table->setHeaderLabels(columns);
  table->setRootIsDecorated(false);
  table->setUniformRowHeights(true);
  table->header()->setStretchLastSection(true);
  return table;
}

QPushButton* Button(QWidget* parent, const char* text, const char* name) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setAccessibleName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

QString StateText(const ScheduleEntry& entry) {
  if (!entry.unreadable.empty()) return QStringLiteral("unreadable: ") + Text(entry.unreadable);
  if (entry.targetGone) return QStringLiteral("target gone");
  return entry.enabled ? QStringLiteral("on") : QStringLiteral("off");
}

QString ResultText(const ScriptResult& result) {
  QString text = Text(result.key);
  if (!result.label.empty()) text += QStringLiteral(" [") + Text(result.label) + ']';
  if (result.ok) return text + QStringLiteral(": done");
  return text + QStringLiteral(": ") + Text(std::string(ErrorCodeName(result.error))) +
         QStringLiteral(" (") + Text(result.message) + ')';
}

}  // namespace

CScheduleDlg::CScheduleDlg(CConsoleCore& core, ScheduleKeeper* keeper, Clock clock, QWidget* parent)
    : QDialog(parent), m_core(core), m_keeper(keeper), m_clock(std::move(clock)) {
  if (!m_clock) m_clock = SystemScheduleClock();
  setWindowTitle(QStringLiteral("Schedule"));
  Build();
  Refresh();
  m_entries->setFocus();
  // Runs end while the dialog is open; their log comes in as they do.
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, &CScheduleDlg::FillLog);
  timer->start(kLogRefreshMs);
}

void CScheduleDlg::Build() {
  m_entries = ListTable(this, "Schedule entries",
                        {"Name", "State", "Target", "Action", "When", "Valid", "Next run"});
  m_agenda = ListTable(this, "Agenda of the next 7 days", {"Time", "Entry", "Action", "Target"});
  m_log = ListTable(this, "Last runs", {"Time", "Entry", "Result"});
  m_log->setRootIsDecorated(true);
  m_add = Button(this, "&Add...", "Add entry");
  m_edit = Button(this, "&Edit...", "Edit entry");
  m_remove = Button(this, "&Remove", "Remove entry");
  m_enable = Button(this, "E&nable/Disable", "Enable or disable entry");
  m_close = Button(this, "&Close", "Close");
  m_problem = new QLabel(this);
  m_problem->setAccessibleName(QStringLiteral("Problem"));
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {m_add, m_edit, m_remove, m_enable}) buttons->addWidget(button);
  buttons->addStretch();
  buttons->addWidget(m_close);
  auto* entriesLabel = new QLabel(QStringLiteral("E&ntries:"), this);
  entriesLabel->setBuddy(m_entries);
  auto* agendaLabel = new QLabel(QStringLiteral("A&genda, next 7 days:"), this);
  agendaLabel->setBuddy(m_agenda);
  auto* logLabel = new QLabel(QStringLiteral("&Last runs:"), this);
  logLabel->setBuddy(m_log);
  auto* grid = new QGridLayout;
  grid->addWidget(agendaLabel, 0, 0);
  grid->addWidget(logLabel, 0, 1);
  grid->addWidget(m_agenda, 1, 0);
  grid->addWidget(m_log, 1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(entriesLabel);
  layout->addWidget(m_entries, 2);
  layout->addLayout(buttons);
  layout->addWidget(m_problem);
  layout->addLayout(grid, 2);
  layout->addWidget(BuildExclusions());
  resize(900, 640);
  connect(m_add, &QPushButton::clicked, this, &CScheduleDlg::OnAdd);
  connect(m_edit, &QPushButton::clicked, this, &CScheduleDlg::OnEdit);
  connect(m_remove, &QPushButton::clicked, this, &CScheduleDlg::OnRemove);
  connect(m_enable, &QPushButton::clicked, this, &CScheduleDlg::OnEnable);
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
  connect(m_entries, &QTreeWidget::itemActivated, this, [this] { OnEdit(); });
}

QWidget* CScheduleDlg::BuildExclusions() {
  auto* box = new QGroupBox(QStringLiteral("Exclusion dates (no entry runs)"), this);
  m_exclusions = new QListWidget(box);
  m_exclusions->setAccessibleName(QStringLiteral("Exclusion dates"));
  m_exclusions->setMaximumHeight(90);
  m_newDate = new QDateEdit(QDate::currentDate(), box);
  m_newDate->setAccessibleName(QStringLiteral("New exclusion date"));
  m_newDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  m_newDate->setCalendarPopup(true);
  m_addDate = Button(box, "Add &Date", "Add exclusion date");
  m_removeDate = Button(box, "Remove Da&te", "Remove exclusion date");
  auto* row = new QHBoxLayout(box);
  row->addWidget(m_exclusions, 1);
  row->addWidget(m_newDate);
  row->addWidget(m_addDate);
  row->addWidget(m_removeDate);
  connect(m_addDate, &QPushButton::clicked, this, &CScheduleDlg::OnAddDate);
  connect(m_removeDate, &QPushButton::clicked, this, &CScheduleDlg::OnRemoveDate);
  return box;
}

ScheduleTable CScheduleDlg::Table() const {
  return m_core.Lock()->Doc().m_docSchedules;
}

void CScheduleDlg::Refresh() {
  const ScheduleTable table = Table();
  const std::time_t now = m_clock();
  FillEntries(table, now);
  FillAgenda(table, now);
  FillLog();
  FillExclusions(table);
}

void CScheduleDlg::FillEntries(const ScheduleTable& table, std::time_t now) {
  const std::string kept = SelectedName();
  m_entries->clear();
  const ScheduleBook book(table);
  for (size_t i = 0; i < table.entries.size(); ++i) {
    const ScheduleEntry& entry = table.entries[i];
    const auto next = book.NextRun(i, now);
    std::string valid;
    if (entry.validFrom || entry.validTo) {
      valid = (entry.validFrom ? DateText(*entry.validFrom) : "") + ".." +
              (entry.validTo ? DateText(*entry.validTo) : "");
    }
    auto* row = new QTreeWidgetItem(
        m_entries, {Text(entry.name), StateText(entry), Text(entry.target),
                    Text(ActionText(entry.action)), Text(WhenText(entry.when)), Text(valid),
                    next ? Text(ScheduleTimeText(*next)) : QStringLiteral("none")});
    if (entry.name == kept) m_entries->setCurrentItem(row);
  }
  if (m_entries->currentItem() == nullptr && m_entries->topLevelItemCount() > 0)
    m_entries->setCurrentItem(m_entries->topLevelItem(0));
}

void CScheduleDlg::FillAgenda(const ScheduleTable& table, std::time_t now) {
  m_agenda->clear();
  for (const AgendaItem& item : ScheduleAgenda(table, now, now + kAgendaSpan, kAgendaRows)) {
    const ScheduleEntry& entry = table.entries[item.entry];
    new QTreeWidgetItem(m_agenda, {Text(ScheduleTimeText(item.at)), Text(entry.name),
                                   Text(ActionText(entry.action)), Text(entry.target)});
  }
}

// Newest first; a run's members are its children, the failed ones expanded.
void CScheduleDlg::FillLog() {
  if (m_keeper == nullptr) return;
  const std::vector<ScheduleRunRecord> runs = m_keeper->Log();
  // Refilled only when a run came: the operator may be reading or moving in it.
  const QString newest =
      runs.empty() ? QString() : Text(runs.back().entry) + QString::number(runs.back().ran);
  if (static_cast<int>(runs.size()) == m_log->topLevelItemCount() && newest == m_newestRun) return;
  m_newestRun = newest;
  m_log->clear();
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    size_t done = 0;
    for (const ScriptResult& result : run->results) done += result.ok ? 1 : 0;
    QString summary = Text(run->action + " " + run->target) +
                      QStringLiteral(": %1 of %2 done").arg(done).arg(run->results.size());
    if (!run->note.empty()) summary += QStringLiteral(", ") + Text(run->note);
    auto* row =
        new QTreeWidgetItem(m_log, {Text(ScheduleTimeText(run->at)), Text(run->entry), summary});
    for (const ScriptResult& result : run->results)
      new QTreeWidgetItem(row, {QString(), QString(), ResultText(result)});
    row->setExpanded(done < run->results.size());
  }
}

void CScheduleDlg::FillExclusions(const ScheduleTable& table) {
  m_exclusions->clear();
  for (const LocalDate& date : table.exclusions) m_exclusions->addItem(Text(DateText(date)));
}

QStringList CScheduleDlg::Targets() const {
  QStringList targets;
  auto state = m_core.Lock();
  const COsprelNetworkManagerDoc& doc = state->Doc();
  if (doc.m_docCommunicationSelect == kSerialMode) {
    for (int g = 0; g < doc.m_docSerialGroupNumCount; ++g)
      targets << QStringLiteral("group:") + Text(doc.m_docGroupName[static_cast<size_t>(g)]);
    return targets;
  }
  for (int g = 0; g < doc.m_docGroupNumCount; ++g)
    targets << QStringLiteral("group:") + Text(doc.m_docGroupName[static_cast<size_t>(g)]);
  for (int i = 0; i < doc.m_docSocketNumber; ++i)
    targets << QStringLiteral("display:") +
                   Text(doc.m_docDisplays[static_cast<size_t>(i)].m_address);
  return targets;
}

std::string CScheduleDlg::SelectedName() const {
  const QTreeWidgetItem* row = m_entries->currentItem();
  return row != nullptr ? row->text(0).toStdString() : std::string();
}

void CScheduleDlg::Edited(const std::string& problem) {
  m_problem->setText(Text(problem));
  if (!problem.empty()) return;
  if (m_keeper != nullptr) m_keeper->Wake();
  Refresh();
}

void CScheduleDlg::OnAdd() {
  ScheduleEntry fresh;
  fresh.when.minuteOfDay = 8 * 60;
  fresh.when.days = 0x1f;  // the working week
  CScheduleEntryDlg dialog(
      fresh, Targets(),
      [this](const ScheduleEntry& entry) { return AddScheduleEntry(m_core, entry); }, this);
  if (dialog.exec() == QDialog::Accepted) Edited({});
}

void CScheduleDlg::OnEdit() {
  const std::string name = SelectedName();
  if (name.empty()) return;
  const ScheduleTable table = Table();
  const auto found = std::find_if(table.entries.begin(), table.entries.end(),
                                  [&](const ScheduleEntry& entry) { return entry.name == name; });
  if (found == table.entries.end()) return Refresh();
  CScheduleEntryDlg dialog(
      *found, Targets(),
      [this, name](const ScheduleEntry& entry) {
        return ReplaceScheduleEntry(m_core, name, entry);
      },
      this);
  if (dialog.exec() == QDialog::Accepted) Edited({});
}

void CScheduleDlg::OnRemove() {
  const std::string name = SelectedName();
  if (!name.empty()) Edited(RemoveScheduleEntry(m_core, name));
}

void CScheduleDlg::OnEnable() {
  const QTreeWidgetItem* row = m_entries->currentItem();
  if (row == nullptr) return;
  const bool on = row->text(1) == QStringLiteral("on");
  Edited(EnableScheduleEntry(m_core, row->text(0).toStdString(), !on));
}

void CScheduleDlg::OnAddDate() {
  std::vector<LocalDate> dates = Table().exclusions;
  dates.push_back(LocalDateFrom(m_newDate->date()));
  Edited(SetScheduleExclusions(m_core, std::move(dates)));
}

void CScheduleDlg::OnRemoveDate() {
  const QListWidgetItem* row = m_exclusions->currentItem();
  if (row == nullptr) return;
  std::vector<LocalDate> dates = Table().exclusions;
  const auto picked = DateFromText(row->text().toStdString());
  std::erase_if(dates, [&](const LocalDate& date) { return picked && date == *picked; });
  Edited(SetScheduleExclusions(m_core, std::move(dates)));
}

}  // namespace tarnex
