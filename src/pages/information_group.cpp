#include "pages/information_group.h"

#include <QHeaderView>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <array>

#include "console/job_handoff.h"
#include "monitor/page_flags.h"
#include "monitor/page_state.h"
#include "platform/ui_thread.h"

namespace tarnex {
namespace {

constexpr std::array<int, GroupStatusModel::kColumnCount> kColumnWidths = {90,  100, 100, 60,
                                                                           100, 70,  50};

// The number of members of the selected group, or -1 when no group is selected.
int SelectedGroupMembers(CConsoleCore& core) {
  auto state = core.Lock();
  const Selection& selection = state->Selected();
  return selection.IsGroup() ? selection.MemberCount() : -1;
}

}  // namespace

CInformationGroup::CInformationGroup(CConsoleCore& core, QWidget* parent)
    : QWidget(parent),
      m_core(core),
      m_model(new GroupStatusModel(IsSerialMode(core), this)),
      m_list(new QTableView(this)) {
  m_list->setObjectName(QStringLiteral("groupStatusList"));
  m_list->setAccessibleName(QStringLiteral("Group"));
  m_list->setModel(m_model);
  m_list->setShowGrid(true);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_list->verticalHeader()->hide();
  m_list->setFrameShape(QFrame::NoFrame);
  for (size_t column = 0; column < kColumnWidths.size(); ++column) {
    m_list->setColumnWidth(static_cast<int>(column), kColumnWidths[column]);
  }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_list);
}

void CInformationGroup::OnSetActive() {
  {
    auto state = m_core.Lock();
    COsprelNetworkManagerDoc& doc = state->Doc();
    RaisePageFlag(doc, PageKind::kInformation);
    doc.m_docInformationPageActive = 0;
    doc.m_docInformationShown = 1;
    doc.m_docGroupPageActive = 1;
  }
  const int members = SelectedGroupMembers(m_core);
  if (members >= 0) RefreshGroupStatus(members);
}

std::uint64_t CInformationGroup::NewRebuild() {
  return ++m_rebuild;
}

void CInformationGroup::Keep(const ReadContext& read) {
  std::lock_guard lock(m_keptMutex);
  m_kept = read;
}

ReadContext CInformationGroup::Kept() {
  std::lock_guard lock(m_keptMutex);
  return m_kept;
}

void CInformationGroup::SetMemberCount(int memberCount) {
  ExpectOnUiThread("the group page's member count");
  m_memberCount = memberCount;
  Keep(ReadContext::ForSelection(m_core));
}

// The reads run on a console worker for the group selected now; a new selection cancels them
// (its read token), a newer rebuild drops what they deliver.
void CInformationGroup::RefreshGroupStatus(int memberCount) {
  ExpectOnUiThread("the group status rebuild");
  const std::uint64_t rebuild = NewRebuild();
  m_model->Clear();
  m_memberCount = memberCount;
  const ReadContext read = ReadContext::ForSelection(m_core);
  Keep(read);
  m_core.Jobs().Post(read.Keys(), [this, rebuild, memberCount, read] {
    ReadIntoList(read, rebuild, memberCount, GroupReadMode::kRebuild);
  });
}

// The pass waits for its diagnosis, so passes do not pile reads on the members; one still
// queued behind the operator's work after the wait is not asked for again.
void CInformationGroup::DiagnoseGroup(int memberCount) {
  const ReadContext read = Kept();
  if (read.target.route != CommandTarget::Route::kNetworkGroup || read.Cancelled()) return;
  if (m_diagnosing.exchange(true)) return;
  const std::uint64_t rebuild = m_rebuild.load();
  RunAsJob<bool>(m_core, read.Keys(), kDiagnosisWait,
                 [this, read, rebuild, memberCount](JobHandoff&) {
                   ReadIntoList(read, rebuild, memberCount, GroupReadMode::kDiagnosis);
                   m_diagnosing.store(false);
                   return true;
                 });
}

void CInformationGroup::ReadIntoList(const ReadContext& read, std::uint64_t rebuild,
                                     int memberCount, GroupReadMode mode) {
  if (read.Cancelled()) return;
  const std::shared_ptr<GroupRowFeed> feed = NewFeed(read, rebuild);
  const SendOptions options{.cancelFd = read.token->Fd(), .shortSerialWait = false};
  GroupStatusRead rows =
      ReadGroupStatus(m_core, read.target, memberCount, mode, options, feed.get());
  if (rows.cancelled || read.Cancelled()) return;
  feed->Finish(std::move(rows.rows));
}

// The feed wakes the list from the reading worker; the queued call keeps the feed alive until
// the UI thread has taken what it holds.
std::shared_ptr<GroupRowFeed> CInformationGroup::NewFeed(const ReadContext& read,
                                                         std::uint64_t rebuild) {
  auto self = std::make_shared<std::weak_ptr<GroupRowFeed>>();
  auto feed = std::make_shared<GroupRowFeed>([this, self, read, rebuild] {
    QMetaObject::invokeMethod(
        this, [this, feed = self->lock(), read, rebuild] { TakeRows(feed, read, rebuild); },
        Qt::QueuedConnection);
  });
  *self = feed;
  return feed;
}

void CInformationGroup::TakeRows(const std::shared_ptr<GroupRowFeed>& feed, const ReadContext& read,
                                 std::uint64_t rebuild) {
  if (!feed || rebuild != m_rebuild.load() || !read.StillSelected(m_core.Lock())) return;
  const std::chrono::milliseconds wait = feed->UntilTake();
  if (wait.count() > 0) {
    QTimer::singleShot(wait, this, [this, feed, read, rebuild] { TakeRows(feed, read, rebuild); });
    return;
  }
  Apply(feed->Take());
}

void CInformationGroup::Apply(GroupRowFeed::Batch batch) {
  if (batch.first) m_model->Prepare(*batch.first);
  m_model->SetRows(batch.read);
  if (batch.last) m_model->Replace(*batch.last);
}

}  // namespace tarnex
