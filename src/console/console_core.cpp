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
      m_historyWriter(&CHistoryReport::Write),
      m_notifier(std::make_unique<TreeNotifier>(ui)),
      m_transaction(std::make_unique<CCommandTransaction>(*this)),
      m_sleep(RealSleeper()) {
  m_tree.AddObserver(m_notifier.get());
  m_doc.SetLabelSource(this);
}

CConsoleCore::~CConsoleCore() {
  Stop();
  m_jobs.Stop();
  FlushHistory();
  m_doc.SetLabelSource(nullptr);
  m_tree.RemoveObserver(m_notifier.get());
  for (int i = 0; i < kMaxDisplays; ++i) m_link.CloseLink(i);
}

CConsoleCore::State CConsoleCore::Lock() {
  return State(*this);
}

CConsoleCore::State::~State() {
  m_lock.unlock();
  m_core->WriteQueuedHistory();
}

Sleeper CConsoleCore::SleeperCopy() {
  std::lock_guard lock(m_mutex);
  return m_sleep;
}

void CConsoleCore::SetSerialChannel(SerialChannel* channel) {
  std::lock_guard lock(m_mutex);
  m_serial = channel;
}

SerialChannel* CConsoleCore::Serial() {
  std::lock_guard lock(m_mutex);
  return m_serial;
}

void CConsoleCore::SetSleeper(Sleeper sleeper) {
  std::lock_guard lock(m_mutex);
  m_sleep = std::move(sleeper);
}

// ---- Tree building ----

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

// In network mode every stored display is connected at once, without the lock. Results are
// recorded in stored order as soon as all before them are in, so the displays appear while
// the slow ones still time out, and the tree ends as connecting one display after another
// would have left it. The groups follow once every display is in.
void CConsoleCore::BuildTree() {
  std::vector<DisplayRecord> records;
  {
    std::lock_guard lock(m_mutex);
    if (m_doc.m_docCommunicationSelect == kSerialMode) {
      BuildSerialTree();
      m_tree.PropagateIcons();
      return;
    }
    const int stored = std::clamp(m_doc.m_docSocketNumber, 0, kMaxDisplays);
    records.assign(m_doc.m_docDisplays.begin(), m_doc.m_docDisplays.begin() + stored);
    m_tree.Reset(TreeMode::kNetwork);
    m_doc.m_docSocketNumber = 0;
    m_doc.m_docCurrentDisplay = 0;
  }
  std::vector<std::string> addresses;
  for (const DisplayRecord& record : records) addresses.push_back(record.m_address);
  std::vector<std::optional<Connection>> arrived(records.size());
  size_t recorded = 0;
  int starved = 0;
  auto recordReady = [&] {
    const State state = Lock();
    for (; recorded < records.size() && arrived[recorded]; ++recorded) {
      if (arrived[recorded]->result == Connection::Result::kNoDescriptors) ++starved;
      AddStoredMonitor(records[recorded], *arrived[recorded]);
    }
  };
  ConnectOptions options = m_link.Options(1, StopFd());
  options.finished = [&](size_t index, const Connection& result) {
    arrived[index] = result;
    if (index == recorded) recordReady();
  };
  ConnectAll(m_link.Api(), addresses, options);
  recordReady();
  const State state = Lock();
  m_tree.BuildNetworkGroups(GroupsOf(m_doc, m_doc.m_docGroupNumCount, m_doc.m_docGroups));
  m_tree.PropagateIcons();
  if (starved > 0) {
    m_ui.ShowMessage("Too many open files: " + std::to_string(starved) +
                     " display(s) could not be connected. Raise the open-file limit "
                     "(ulimit -n); they will be tried again.");
  }
}

// Every stored display is connected once, in stored order. A display whose address occurred
// earlier is merged into that entry, and the entries after it close up, so that the table and
// the "Single" items stay in the same order.
// A display whose address occurred earlier is merged into that entry, and the entries after
// it close up, so that the table and the "Single" items stay in the same order. A display
// that was never named keeps its address as its label.
void CConsoleCore::AddStoredMonitor(const DisplayRecord& record, const Connection& connection) {
  const int slot = m_doc.m_docSocketNumber;
  if (slot >= kMaxDisplays) {
    if (connection.fd != kNoSocket) m_link.Api().Close(connection.fd);
    return;
  }
  m_doc.m_docDisplays[static_cast<size_t>(slot)] = record;
  m_doc.m_docCurrentDisplay = slot;
  AddConnectedMonitor(record.m_address, connection);
  if (m_doc.m_docSocketNumber > slot && !record.m_label.empty()) {
    m_tree.RelabelSingle(slot, record.m_label);
  }
}

void CConsoleCore::BuildSerialTree() {
  m_tree.BuildSerialTree(GroupsOf(m_doc, m_doc.m_docSerialGroupNumCount, m_doc.m_docSerialGroups));
}

int CConsoleCore::AddDiscoveredMonitor(const std::string& address) {
  std::vector<Connection> connection =
      ConnectAll(m_link.Api(), {address}, m_link.Options(1, StopFd()));
  const State state = Lock();
  return AddConnectedMonitor(address, connection.front());
}

int CConsoleCore::AddConnectedMonitor(const std::string& address, const Connection& connection) {
  const int current = m_doc.m_docCurrentDisplay;
  if (!LinkState::ValidIndex(current)) {
    if (connection.fd != kNoSocket) m_link.Api().Close(connection.fd);
    return 0;
  }
  int& count = m_doc.m_docSocketNumber;
  if (m_link.AdoptConnection(current, address, connection) == 0) {
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
  m_link.Sockets().Move(current, earlier);
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

void CConsoleCore::MarkDisconnectedLocked(int index) {
  m_tree.MarkDisconnected(DisplayAddress(index));
  if (LinkState::ValidIndex(index) && m_doc.m_docConnectState[static_cast<size_t>(index)] == 1) {
    m_link.CloseLink(index);
  }
}

// ---- History and alarms ----

void CConsoleCore::State::AppendHistory(std::string_view operation) const {
  const COsprelNetworkManagerDoc& doc = m_core->m_doc;
  if (doc.m_docCommunicationSelect == kSerialMode) {
    m_core->AppendSerialHistoryLocked(doc.m_docHistorySetID, operation);
  } else if (doc.m_docCommunicationSelect == kNetworkMode) {
    m_core->AppendHistoryLocked(doc.m_docCurrentDisplay, operation);
  }
}

void CConsoleCore::AppendHistory(std::string_view operation) {
  Lock()->AppendHistory(operation);
}

void CConsoleCore::AppendHistoryAt(int index, std::string_view operation) {
  Lock()->AppendHistoryAt(index, operation);
}

void CConsoleCore::AppendSerialHistory(const std::string& setNumber, std::string_view operation) {
  Lock()->AppendSerialHistory(setNumber, operation);
}

void CConsoleCore::AppendSerialHistoryLocked(const std::string& setNumber,
                                             std::string_view operation) {
  QueueHistoryLocked(kSerialMode, setNumber, operation);
}

void CConsoleCore::AppendHistoryLocked(int index, std::string_view operation) {
  if (!LinkState::ValidIndex(index)) {
    QueueHistoryLocked(kNetworkMode, m_link.ViewIp(), operation);
    return;
  }
  std::string& address = m_doc.m_docDisplays[static_cast<size_t>(index)].m_address;
  if (address.empty()) address = m_link.ViewIp();
  QueueHistoryLocked(kNetworkMode, address, operation);
}

void CConsoleCore::QueueHistoryLocked(int communicationSelect, std::string_view subject,
                                      std::string_view operation) {
  m_history.SetFolder(m_doc.m_docConfigFolder);
  if (auto line = m_history.Prepare(communicationSelect, subject, operation)) {
    m_historyQueue.push_back(std::move(*line));
    m_historyQueued.store(true);
  }
}

void CConsoleCore::WriteQueuedHistory() {
  // A writer that finds another at work leaves its lines to it: the other looks again for
  // queued lines after it lets go, and so sees every line queued before this attempt.
  while (m_historyQueued.load()) {
    std::unique_lock writing(m_historyWriting, std::try_to_lock);
    if (!writing.owns_lock()) return;
    WriteHistoryQueue();
  }
}

void CConsoleCore::WriteHistoryQueue() {
  std::vector<HistoryLine> lines;
  HistoryWriter writer;
  {
    std::lock_guard lock(m_mutex);
    lines.swap(m_historyQueue);
    m_historyQueued.store(false);
    writer = m_historyWriter;
  }
  if (!lines.empty() && writer) writer(lines);
}

void CConsoleCore::FlushHistory() {
  // Waiting for the writer at work covers the lines it took; looking again covers those left
  // to this flush while it wrote. Bounded, should workers still be making lines.
  for (int round = 0; round < 100; ++round) {
    {
      std::lock_guard writing(m_historyWriting);
      WriteHistoryQueue();
    }
    if (!m_historyQueued.load()) return;
  }
}

void CConsoleCore::SetHistoryWriter(HistoryWriter writer) {
  std::lock_guard lock(m_mutex);
  m_historyWriter = std::move(writer);
}

void CConsoleCore::State::SendAlarmMail(AlarmKind kind, const std::string& address) const {
  if (m_core->m_alarm != nullptr) m_core->m_alarm->Enqueue(kind, address);
}

// ---- NetworkLinkHost ----

std::string CConsoleCore::DisplayAddress(int index) const {
  if (!LinkState::ValidIndex(index)) return {};
  return m_doc.m_docDisplays[static_cast<size_t>(index)].m_address;
}

void CConsoleCore::SetDisplayAddress(int index, const std::string& address) {
  if (LinkState::ValidIndex(index))
    m_doc.m_docDisplays[static_cast<size_t>(index)].m_address = address;
}

void CConsoleCore::LinkHistory(std::string_view address, std::string_view operation) {
  QueueHistoryLocked(kNetworkMode, address, operation);
}

// ---- LabelSource ----

std::optional<std::vector<std::string>> CConsoleCore::SingleLabels() const {
  if (m_tree.Mode() != TreeMode::kNetwork) return std::nullopt;
  return m_tree.SingleLabels();
}

std::optional<std::vector<std::vector<std::string>>> CConsoleCore::GroupMemberLabels() const {
  std::vector<std::vector<std::string>> labels;
  for (const TreeGroupLabels& group : m_tree.GroupLabels()) labels.push_back(group.memberLabels);
  return labels;
}

}  // namespace tarnex
