#pragma once

#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "console/command_transaction.h"
#include "console/console_core.h"
#include "monitor/group_row_feed.h"
#include "monitor/group_status.h"
#include "monitor/read_context.h"
#include "pages/group_status_model.h"

class QTableView;

namespace tarnex {

// The members of the selected group, one row each: link, address or set ID, name, power,
// input, signal and fan. The list is rebuilt by the operator's refresh (a console job behind
// the popup) and re-read after a supervision pass that reconnected a display or found a member
// down. Each member's row is shown as soon as that member is read, the list repainted at most
// once per GroupRowFeed::kInterval.
//
// Threads: UI thread, but DiagnoseGroup, which the supervision worker calls.
class CInformationGroup : public QWidget {
 public:
  // How long the supervision worker waits for a diagnosis: its turn behind the operator's work
  // on the members, then a member's reads answered at their time-outs.
  static constexpr std::chrono::seconds kDiagnosisWait{30};

  explicit CInformationGroup(CConsoleCore& core, QWidget* parent = nullptr);

  // The inner sheet brought this page on top: its flags are raised and a selected group is
  // read.
  void OnSetActive();
  // Rebuilds the list for the selected group, whose item has `memberCount` children.
  void RefreshGroupStatus(int memberCount);
  // The selection handling gives the selected group's member count; the group is kept as the
  // target of the diagnosis.
  void SetMemberCount(int memberCount);
  // The re-read of a supervision pass: a console job without a popup for the group kept, which
  // the calling thread waits for (kDiagnosisWait at most); the rows go to the list on the UI
  // thread. Nothing once the operator has selected something else. Any thread but the UI's.
  void DiagnoseGroup(int memberCount);

  void SetIcons(std::function<QIcon(TreeIcon)> icons) { m_model->SetIcons(std::move(icons)); }
  GroupStatusModel& Model() const { return *m_model; }
  QTableView* List() const { return m_list; }
  int MemberCount() const { return m_memberCount; }

 private:
  // Starts a new rebuild: what an earlier one still delivers is dropped. UI thread.
  std::uint64_t NewRebuild();
  void Keep(const ReadContext& read);
  ReadContext Kept();
  // A console worker: reads the group into the list, row by row as its members end.
  void ReadIntoList(const ReadContext& read, std::uint64_t rebuild, int memberCount,
                    GroupReadMode mode);
  std::shared_ptr<GroupRowFeed> NewFeed(const ReadContext& read, std::uint64_t rebuild);
  // UI thread: the rows a feed kept go to the list, unless a newer rebuild or selection made
  // them stale; taken later when the list was updated less than an interval ago.
  void TakeRows(const std::shared_ptr<GroupRowFeed>& feed, const ReadContext& read,
                std::uint64_t rebuild);
  void Apply(GroupRowFeed::Batch batch);

  CConsoleCore& m_core;
  GroupStatusModel* m_model;
  QTableView* m_list;
  int m_memberCount = 0;
  std::atomic<std::uint64_t> m_rebuild{0};
  std::atomic<bool> m_diagnosing{false};  // a diagnosis is queued or running
  std::mutex m_keptMutex;
  // The group last selected or rebuilt, with the selection's token and generation, for the
  // diagnosis.
  ReadContext m_kept;
};

}  // namespace tarnex
