#include "pages/information_group.h"

#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

#include <array>

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

void CInformationGroup::KeepTarget(const CommandTarget& target) {
  std::lock_guard lock(m_targetMutex);
  m_target = target;
}

void CInformationGroup::SetMemberCount(int memberCount) {
  ExpectOnUiThread("the group page's member count");
  m_memberCount = memberCount;
  KeepTarget(m_core.Transaction().CaptureTarget());
}

// The reads run on a console worker for the group selected now; a new selection cancels them
// (its read token), a newer rebuild drops what they deliver.
void CInformationGroup::RefreshGroupStatus(int memberCount) {
  ExpectOnUiThread("the group status rebuild");
  const std::uint64_t rebuild = NewRebuild();
  m_model->Clear();
  m_memberCount = memberCount;
  CommandTarget target = m_core.Transaction().CaptureTarget();
  KeepTarget(target);
  const std::shared_ptr<const CancelToken> token = m_core.ReadToken();
  JobKeys keys = target.Keys();
  m_core.Jobs().Post(
      std::move(keys), [this, rebuild, memberCount, token, target = std::move(target)] {
        if (token->Cancelled()) return;
        const SendOptions options{.cancelFd = token->Fd(), .shortSerialWait = false};
        GroupStatusRead read =
            ReadGroupStatus(m_core, target, memberCount, GroupReadMode::kRebuild, options);
        if (read.cancelled || token->Cancelled()) return;
        Deliver(rebuild, std::move(read.rows));
      });
}

void CInformationGroup::DiagnoseGroup(int memberCount) {
  const std::uint64_t rebuild = m_rebuild.load();
  CommandTarget target;
  {
    std::lock_guard lock(m_targetMutex);
    target = m_target;
  }
  if (target.route != CommandTarget::Route::kNetworkGroup) return;
  GroupStatusRead read =
      ReadGroupStatus(m_core, target, memberCount, GroupReadMode::kDiagnosis, {});
  if (read.cancelled) return;
  Deliver(rebuild, std::move(read.rows));
}

void CInformationGroup::Deliver(std::uint64_t rebuild, std::vector<GroupStatusRow> rows) {
  size_t start = 0;
  do {
    const size_t end = std::min(rows.size(), start + kRowBatch);
    std::vector<GroupStatusRow> batch(std::make_move_iterator(rows.begin() + start),
                                      std::make_move_iterator(rows.begin() + end));
    const bool first = start == 0;
    QMetaObject::invokeMethod(
        this,
        [this, rebuild, first, batch = std::move(batch)] { AppendBatch(rebuild, first, batch); },
        Qt::QueuedConnection);
    start = end;
  } while (start < rows.size());
}

void CInformationGroup::AppendBatch(std::uint64_t rebuild, bool first,
                                    const std::vector<GroupStatusRow>& rows) {
  if (rebuild != m_rebuild.load()) return;
  if (first) m_model->Clear();
  m_model->Append(rows);
  if (!rows.empty()) m_list->scrollToBottom();
}

}  // namespace tarnex
