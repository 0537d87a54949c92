#pragma once

#include <QWidget>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "console/command_transaction.h"
#include "console/console_core.h"
#include "monitor/group_status.h"
#include "pages/group_status_model.h"

class QTableView;

namespace tarnex {

// The members of the selected group, one row each: link, address or set ID, name, power,
// input, signal and fan. The list is rebuilt by the operator's refresh (a console job behind
// the popup) and, on the network, after a supervision pass that reconnected a display.
//
// Threads: UI thread, but DiagnoseGroup, which the supervision worker calls.
class CInformationGroup : public QWidget {
 public:
  // Rows are handed to the list this many at a time, so it fills and scrolls as they come.
  static constexpr size_t kRowBatch = 100;

  explicit CInformationGroup(CConsoleCore& core, QWidget* parent = nullptr);

  // The inner sheet brought this page on top: its flags are raised and a selected group is
  // read.
  void OnSetActive();
  // Rebuilds the list for the selected group, whose item has `memberCount` children.
  void RefreshGroupStatus(int memberCount);
  // The selection handling gives the selected group's member count; the group is kept as the
  // target of the diagnosis.
  void SetMemberCount(int memberCount);
  // The rebuild of a supervision pass: reads on the calling thread, without a popup; the rows
  // go to the list on the UI thread. Any thread.
  void DiagnoseGroup(int memberCount);

  void SetIcons(std::function<QIcon(TreeIcon)> icons) { m_model->SetIcons(std::move(icons)); }
  GroupStatusModel& Model() const { return *m_model; }
  QTableView* List() const { return m_list; }
  int MemberCount() const { return m_memberCount; }

 private:
  // Starts a new rebuild: what an earlier one still delivers is dropped. UI thread.
  std::uint64_t NewRebuild();
  void KeepTarget(const CommandTarget& target);
  // Queues the rows to the UI thread, in batches; the first batch empties the list.
  void Deliver(std::uint64_t rebuild, std::vector<GroupStatusRow> rows);
  void AppendBatch(std::uint64_t rebuild, bool first, const std::vector<GroupStatusRow>& rows);

  CConsoleCore& m_core;
  GroupStatusModel* m_model;
  QTableView* m_list;
  int m_memberCount = 0;
  std::atomic<std::uint64_t> m_rebuild{0};
  std::mutex m_targetMutex;
  CommandTarget m_target;  // the group last selected or rebuilt, for the diagnosis
};

}  // namespace tarnex
