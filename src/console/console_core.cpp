#include "console/console_core.h"

#include <algorithm>

#include "console/command_transaction.h"
#include "registry/tree_labels.h"

namespace tarnex {

// Tells the window that the tree changed. It runs on whichever thread changed the tree, with
// the console lock held; the UiHost queues the redraw to the UI thread.
class CConsoleCore::TreeNotifier : public TreeObserver {
 public:
  explicit TreeNotifier(UiHost& ui) : m_ui(ui) {}
  void OnInserted(const TreeRow&) override { m_ui.TreeChanged(); }
  void OnRemoved(const TreeRow&) override { m_ui.TreeChanged(); }
  void OnChanged(const TreeRow&, TreeChange) override { m_ui.TreeChanged(); }
  void OnReset() override { m_ui.TreeChanged(); }

 private:
  UiHost& m_ui;
};

CConsoleCore::CConsoleCore(COsprelNetworkManagerDoc& doc, UiHost& ui, SocketApi& sockets)
    : m_doc(doc),
      m_ui(ui),
      m_link(doc, *this, ui, sockets),
      m_history(doc.m_docConfigFolder),
      m_notifier(std::make_unique<TreeNotifier>(ui)),
      m_transaction(std::make_unique<CCommandTransaction>(*this)),
      m_sleep(RealSleeper()) {
  m_tree.AddObserver(m_notifier.get());
  m_doc.SetLabelSource(this);
}

CConsoleCore::~CConsoleCore() {
  m_doc.SetLabelSource(nullptr);
  m_tree.RemoveObserver(m_notifier.get());
  for (int i = 0; i < kMaxDisplays; ++i) m_link.CloseLink(i);
}

void CConsoleCore::SetSleeper(Sleeper sleeper) {
  std::lock_guard lock(m_mutex);
  m_link.SetSleeper(sleeper);
  m_sleep = std::move(sleeper);
}

// ---- Tree building ----

void CConsoleCore::BuildTree() {
  std::lock_guard lock(m_mutex);
  if (m_doc.m_docCommunicationSelect == kSerialMode) {
    BuildSerialTree();
  } else {
    BuildNetworkTree();
  }
  m_tree.PropagateIcons();
}

namespace {

std::vector<TreeGroupLabels> GroupsOf(const COsprelNetworkManagerDoc& doc, int count,
                                      const std::vector<GroupRecord>& groups) {
  std::vector<TreeGroupLabels> result;
  count = std::clamp(count, 0, kMaxGroups);
  for (int g = 0; g < count; ++g) {
    result.push_back(
        {doc.m_docGroupName[static_cast<size_t>(g)], groups[static_cast<size_t>(g)].m_labels});
  }
  return result;
}

}  // namespace

// Every stored display is connected once, in stored order. A display whose address occurred
// earlier is merged into that entry, and the entries after it close up, so that the table and
// the "Single" items stay in the same order.
void CConsoleCore::BuildNetworkTree() {
  m_tree.Reset(TreeMode::kNetwork);
  const int stored = std::clamp(m_doc.m_docSocketNumber, 0, kMaxDisplays);
  const std::vector<DisplayRecord> records(m_doc.m_docDisplays.begin(),
                                           m_doc.m_docDisplays.begin() + stored);
  m_doc.m_docSocketNumber = 0;
  m_doc.m_docCurrentDisplay = 0;
  for (const DisplayRecord& record : records) {
    const int slot = m_doc.m_docSocketNumber;
    m_doc.m_docDisplays[static_cast<size_t>(slot)] = record;
    m_doc.m_docCurrentDisplay = slot;
    AddDiscoveredMonitor(record.m_address);
  }
  // A display that was never named keeps its address as its label.
  for (int k = 0; k < m_doc.m_docSocketNumber; ++k) {
    const std::string& label = m_doc.m_docDisplays[static_cast<size_t>(k)].m_label;
    if (!label.empty()) m_tree.RelabelSingle(k, label);
  }
  m_tree.BuildNetworkGroups(GroupsOf(m_doc, m_doc.m_docGroupNumCount, m_doc.m_docGroups));
}

void CConsoleCore::BuildSerialTree() {
  m_tree.BuildSerialTree(GroupsOf(m_doc, m_doc.m_docSerialGroupNumCount, m_doc.m_docSerialGroups));
}

int CConsoleCore::AddDiscoveredMonitor(const std::string& address) {
  std::lock_guard lock(m_mutex);
  const int current = m_doc.m_docCurrentDisplay;
  if (!LinkState::ValidIndex(current)) return 0;
  int& count = m_doc.m_docSocketNumber;
  m_link.SetViewIp(address);
  if (m_link.ConnectMonitor() == 0) {
    m_doc.m_docDisplays[static_cast<size_t>(current)].m_address = address;
    count = std::max(count, current + 1);
    m_tree.AppendSingle(address, TreeIcon::kDisconnected);
    return 0;
  }
  int earlier = -1;
  for (int j = 0; j < count && earlier < 0; ++j) {
    if (j != current && m_doc.m_docDisplays[static_cast<size_t>(j)].m_address == address) {
      earlier = j;
    }
  }
  if (earlier < 0) {
    count = std::max(count, current + 1);
    m_tree.AppendSingle(address, TreeIcon::kConnected);
    return 1;
  }
  // Already known: the earlier entry takes the new link and keeps its name.
  m_link.CloseLink(earlier);
  m_link.Sockets().Set(earlier, m_link.Sockets().Take(current));
  m_doc.m_docConnectState[static_cast<size_t>(earlier)] = 1;
  if (current >= count) RemoveDisplayEntry(current);
  m_doc.m_docCurrentDisplay = earlier;
  m_tree.SetSingleIconsByKey(address, TreeIcon::kConnected);
  return 1;
}

void CConsoleCore::RemoveDisplayEntry(int index) {
  m_doc.m_docDisplays[static_cast<size_t>(index)] = DisplayRecord{};
  m_doc.m_docConnectState[static_cast<size_t>(index)] = -1;
  m_link.CloseLink(index);
}

// ---- Marking ----

void CConsoleCore::MarkDisconnected() {
  std::lock_guard lock(m_mutex);
  const int current = m_doc.m_docCurrentDisplay;
  m_tree.MarkDisconnected(DisplayAddress(current));
  if (LinkState::ValidIndex(current) &&
      m_doc.m_docConnectState[static_cast<size_t>(current)] == 1) {
    m_link.CloseLink(current);
  }
}

void CConsoleCore::MarkCurrentConnected() {
  std::lock_guard lock(m_mutex);
  m_tree.MarkCurrentConnected(DisplayAddress(m_doc.m_docCurrentDisplay));
}

// ---- History and alarms ----

void CConsoleCore::AppendHistory(std::string_view operation) {
  std::lock_guard lock(m_mutex);
  m_history.SetFolder(m_doc.m_docConfigFolder);
  if (m_doc.m_docCommunicationSelect == kSerialMode) {
    m_history.Append(kSerialMode, m_doc.m_docHistorySetID, operation);
    return;
  }
  if (m_doc.m_docCommunicationSelect != kNetworkMode) return;
  const int current = m_doc.m_docCurrentDisplay;
  if (!LinkState::ValidIndex(current)) {
    m_history.Append(kNetworkMode, m_link.ViewIp(), operation);
    return;
  }
  std::string& address = m_doc.m_docDisplays[static_cast<size_t>(current)].m_address;
  if (address.empty()) address = m_link.ViewIp();
  m_history.Append(kNetworkMode, address, operation);
}

void CConsoleCore::SendAlarmMail(int kind, const std::string& address) {
  if (m_alarm != nullptr) m_alarm->SendAlarmMail(kind, address);
}

// ---- NetworkLinkHost ----

std::string CConsoleCore::DisplayAddress(int index) const {
  std::lock_guard lock(m_mutex);
  if (!LinkState::ValidIndex(index)) return {};
  return m_doc.m_docDisplays[static_cast<size_t>(index)].m_address;
}

void CConsoleCore::SetDisplayAddress(int index, const std::string& address) {
  std::lock_guard lock(m_mutex);
  if (LinkState::ValidIndex(index))
    m_doc.m_docDisplays[static_cast<size_t>(index)].m_address = address;
}

void CConsoleCore::LinkHistory(std::string_view address, std::string_view operation) {
  std::lock_guard lock(m_mutex);
  m_history.SetFolder(m_doc.m_docConfigFolder);
  m_history.Append(kNetworkMode, address, operation);
}

// ---- LabelSource ----

std::optional<std::vector<std::string>> CConsoleCore::SingleLabels() const {
  std::lock_guard lock(m_mutex);
  if (m_tree.Mode() != TreeMode::kNetwork) return std::nullopt;
  return m_tree.SingleLabels();
}

std::optional<std::vector<std::vector<std::string>>> CConsoleCore::GroupMemberLabels() const {
  std::lock_guard lock(m_mutex);
  std::vector<std::vector<std::string>> labels;
  for (const TreeGroupLabels& group : m_tree.GroupLabels()) labels.push_back(group.memberLabels);
  return labels;
}

}  // namespace tarnex
