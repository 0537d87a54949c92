#include "console/console_core.h"

#include <algorithm>

#include "console/command_transaction.h"
#include "console/pjlink_links.h"
#include "links/ip_address.h"
#include "platform/trace.h"
#include "platform/ui_thread.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

// How long a flush waits for the history writer: a report on a stalled disk must not hold
// the close.
constexpr std::chrono::seconds kFlushDeadline{2};
// A hold of the console lock longer than this is traced.
constexpr std::chrono::milliseconds kLongHold{50};
// How long a loop that can let others in holds the lock before it does, and how long it waits
// for a waiter to take its turn.
constexpr std::chrono::milliseconds kHoldSlice{5};
constexpr std::chrono::milliseconds kHandOverWait{5};
constexpr std::chrono::microseconds kHandOverPoll{100};

}  // namespace

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
      m_sleep(RealSleeper()),
      m_readToken(std::make_shared<CancelToken>()),
      m_historyThread([this] { WriteHistory(); }) {
  m_tree.AddObserver(m_notifier.get());
  m_doc.SetLabelSource(this);
}

CConsoleCore::~CConsoleCore() {
  Stop();
  m_jobs.Stop();
  {
    std::lock_guard lock(m_historyMutex);
    m_historyStop = true;
  }
  m_historyWake.notify_all();
  m_historyThread.join();
  m_doc.SetLabelSource(nullptr);
  m_tree.RemoveObserver(m_notifier.get());
  const int count = std::clamp(m_doc.m_docSocketNumber, 0, kMaxDisplays);
  for (int i = 0; i < count; ++i) m_link.CloseLink(i);
}

CConsoleCore::State CConsoleCore::Lock(const char* file, int line, const char* function) {
  return State(*this, file, line, function);
}

// Each hold is one batch of tree marks: a group's members or a pass's displays are marked one
// by one, and the group members follow their displays once, before the lock is let go.
CConsoleCore::State::State(CConsoleCore& core, const char* file, int line, const char* function)
    : m_lock(core.m_door.m_mutex, std::defer_lock),
      m_core(&core),
      m_file(file),
      m_line(line),
      m_function(function) {
  BeginHold();
}

CConsoleCore::State::~State() {
  EndHold();
}

void CConsoleCore::State::BeginHold() {
  LockDoor& door = m_core->m_door;
  ++door.m_waiters;
  m_lock.lock();
  --door.m_waiters;
  ++door.m_turns;
  m_since = std::chrono::steady_clock::now();
  m_core->m_tree.BeginIconBatch();
}

// A long hold stalls every thread that needs the console, the window's first; the trace names
// the holder.
void CConsoleCore::State::EndHold() {
  m_core->m_tree.EndIconBatch();
  const auto held = std::chrono::steady_clock::now() - m_since;
  m_lock.unlock();
  if (held > kLongHold) {
    Trace(
        "console lock held %lld ms at %s:%d %s",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(held).count()),
        m_file, m_line, m_function);
  }
}

// The waiter is woken when the lock is let go, but the holder would take it again before the
// waiter runs; so the holder waits for the waiter's turn.
bool CConsoleCore::State::LetOthersIn() {
  const LockDoor& door = m_core->m_door;
  if (door.m_waiters.load() == 0 || std::chrono::steady_clock::now() - m_since < kHoldSlice) {
    return false;
  }
  const std::uint64_t turns = door.m_turns.load();
  EndHold();
  const auto deadline = std::chrono::steady_clock::now() + kHandOverWait;
  while (door.m_turns.load() == turns && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kHandOverPoll);
  }
  BeginHold();
  return true;
}

void CConsoleCore::Stop() {
  m_stop.Cancel();
  std::lock_guard lock(m_readTokenMutex);
  m_readToken->Cancel();
}

std::shared_ptr<const CancelToken> CConsoleCore::NewReadToken() {
  auto token = std::make_shared<CancelToken>();
  std::lock_guard lock(m_readTokenMutex);
  m_readToken->Cancel();
  // A selection made while closing reads nothing either.
  if (Stopping()) token->Cancel();
  m_readToken = token;
  return token;
}

std::shared_ptr<const CancelToken> CConsoleCore::ReadToken() {
  std::lock_guard lock(m_readTokenMutex);
  return m_readToken;
}

Sleeper CConsoleCore::SleeperCopy() {
  const State state = Lock();
  return m_sleep;
}

void CConsoleCore::SetSerialChannel(SerialChannel* channel) {
  const State state = Lock();
  m_serial = channel;
}

SerialChannel* CConsoleCore::Serial() {
  const State state = Lock();
  return m_serial;
}

void CConsoleCore::SetSleeper(Sleeper sleeper) {
  const State state = Lock();
  m_sleep = std::move(sleeper);
}

void CConsoleCore::State::Select(Selection selection) const {
  ExpectOnUiThread("a selection change");
  ++m_core->m_selectionGeneration;
  m_core->m_selection = std::move(selection);
}

bool CConsoleCore::State::SelectionUsable() const {
  const Selection& selection = Selected();
  switch (selection.kind()) {
    case Selection::Kind::kDisplay: {
      const int row = RowOf(selection.display());
      const DisplayFacts* facts = FactsOf(selection.display());
      return row >= 0 && (Doc().m_docConnectState[static_cast<size_t>(row)] == 1 ||
                          (facts != nullptr && facts->connectPending));
    }
    case Selection::Kind::kGroup:
      return !selection.PresentMembers().empty();
    case Selection::Kind::kSerialDisplay:
      return true;
    case Selection::Kind::kSerialGroup:
      return !selection.setNumbers().empty();
    case Selection::Kind::kNothing:
      break;
  }
  return false;
}

bool CConsoleCore::State::SelectedLinkUp() const {
  const int row = RowOf(Selected().display());
  return row >= 0 && Doc().m_docConnectState[static_cast<size_t>(row)] == 1;
}

DisplayFacts* CConsoleCore::State::FactsOf(DisplayId id) const {
  if (RowOf(id) < 0) return nullptr;
  return &m_core->m_facts[id];
}

DisplayFacts* CConsoleCore::State::SerialFactsOf(int setNumber) const {
  if (setNumber < 0 || setNumber >= kSerialSetIds) return nullptr;
  return &m_core->m_serialFacts[static_cast<size_t>(setNumber)];
}

// ---- Tree building ----

namespace {

// The groups' items with their names, their members still to come.
std::vector<TreeGroupLabels> GroupNames(const COsprelNetworkManagerDoc& doc, int count) {
  std::vector<TreeGroupLabels> result;
  count = std::clamp(count, 0, kMaxGroups);
  for (int g = 0; g < count; ++g) {
    result.push_back({doc.m_docGroupName[static_cast<size_t>(g)], {}});
  }
  return result;
}

}  // namespace

// The stored groups, at capacity hundreds of thousands of members, are built in one hold that
// lets others in between two groups. Every group item is there before the first member, so
// the tree's group numbers are the document's at each of those points: a group made meanwhile
// goes after the stored ones in both, and one deleted meanwhile is skipped. A group holds all
// its members or none yet, so a selection never takes a group with members missing (one
// selected before its members are in designates nobody), and a save copies back only the
// labels the tree holds. Nobody can add a member in between: no network display is under
// "Single" yet, and no serial set ID has answered yet (the start-up job runs before any
// exchange).
void CConsoleCore::FillGroupsLocked(State& state, const std::vector<GroupRecord>& records,
                                    TreeIcon icon) {
  const std::span<const TreeItem> children = m_tree.Model().Children(m_tree.GroupRoot());
  const std::vector<TreeItem> items(children.begin(), children.end());
  for (const TreeItem item : items) {
    state.LetOthersIn();
    const int group = m_tree.GroupNumberOf(item);
    if (group < 0) continue;
    for (const std::string& label : records[static_cast<size_t>(group)].m_labels) {
      m_tree.AppendMember(item, label, icon);
    }
  }
}

// The tree without its displays, and in network mode the stored displays to connect; false in
// serial mode, where the tree is then whole.
bool CConsoleCore::BuildStoredTree(std::vector<DisplayId>& ids,
                                   std::vector<std::string>& addresses) {
  State state = Lock();
  if (m_doc.m_docCommunicationSelect == kSerialMode) {
    m_tree.BuildSerialTree(GroupNames(m_doc, m_doc.m_docSerialGroupNumCount));
    FillGroupsLocked(state, m_doc.m_docSerialGroups, TreeIcon::kDisconnected);
    m_tree.PropagateIcons();
    return false;
  }
  const int stored = std::clamp(m_doc.m_docSocketNumber, 0, kMaxDisplays);
  m_doc.m_docSocketNumber = stored;
  m_tree.Reset(TreeMode::kNetwork);
  for (int row = 0; row < stored; ++row) {
    ids.push_back(m_doc.EnsureId(row));
    addresses.push_back(m_doc.m_docDisplays[static_cast<size_t>(row)].m_address);
  }
  m_tree.BuildNetworkGroups(GroupNames(m_doc, m_doc.m_docGroupNumCount));
  FillGroupsLocked(state, m_doc.m_docGroups, TreeIcon::kConnected);
  return true;
}

// In network mode every stored display is connected at once, without the lock. The table and
// the groups are whole before the first connect, so a close, the Setting dialog or a group
// edit at any moment of the start sees every stored display. The outcomes are recorded in
// stored order as soon as all before them are in, so the displays appear while the slow ones
// still time out, and the tree ends as connecting one display after another would have left
// it.
void CConsoleCore::BuildTree() {
  std::vector<DisplayId> ids;
  std::vector<std::string> addresses;
  std::string invalid;
  if (!BuildStoredTree(ids, addresses)) return;
  // An entry whose address is no IP address is kept as it is and never connected.
  std::vector<size_t> connected;
  std::vector<std::string> connectedAddresses;
  std::vector<DisplayId> connectedIds;
  std::vector<std::optional<Connection>> arrived(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    if (IsDottedIPv4(addresses[i])) {
      connected.push_back(i);
      connectedAddresses.push_back(addresses[i]);
      connectedIds.push_back(ids[i]);
    } else {
      arrived[i] = Connection{.result = Connection::Result::kNotConnected};
      invalid += (invalid.empty() ? "" : ", ") + Printable(addresses[i]);
    }
  }
  size_t recorded = 0;
  int starved = 0;
  auto recordReady = [&] {
    State state = Lock();
    for (; recorded < ids.size() && arrived[recorded]; ++recorded) {
      state.LetOthersIn();
      if (arrived[recorded]->result == Connection::Result::kNoDescriptors) ++starved;
      RecordStoredConnect(ids[recorded], addresses[recorded], *arrived[recorded]);
    }
  };
  ConnectOptions options = ConnectOptionsFor(connectedIds, 1);
  options.finished = [&](size_t index, const Connection& result) {
    arrived[connected[index]] = result;
    if (connected[index] == recorded) recordReady();
  };
  ConnectAll(m_link.Api(), connectedAddresses, options);
  recordReady();
  GreetPjlinkDisplays(*this, connectedIds);
  {
    // At capacity the members are hundreds of thousands. At a hand-over a member not reached
    // yet shows what it showed through the connects, which is what every waiter saw till now.
    State state = Lock();
    m_tree.PropagateIconsBetweenGroups([&state] { return state.LetOthersIn(); });
  }
  if (!invalid.empty()) {
    m_ui.ShowMessage("These stored displays have no valid IP address and are not connected: " +
                     invalid);
  }
  if (starved > 0) {
    m_ui.ShowMessage("Too many open files: " + std::to_string(starved) +
                     " display(s) could not be connected. Raise the open-file limit "
                     "(ulimit -n); they will be tried again.");
  }
}

// A display whose address occurred earlier in the table is merged into that entry when it
// connects, and leaves the table as a delete would, so that the table and the "Single" items
// stay in the same order. A display deleted while it connected is left alone. A display that
// was never named shows its address.
void CConsoleCore::RecordStoredConnect(DisplayId id, const std::string& address,
                                       const Connection& connection) {
  const int row = m_doc.RowOf(id);
  if (row < 0 || connection.result == Connection::Result::kCancelled) {
    if (connection.fd != kNoSocket) m_link.Api().Close(connection.fd);
    return;
  }
  const std::string label = m_doc.m_docDisplays[static_cast<size_t>(row)].m_label;
  const std::string shown = label.empty() ? address : label;
  int earlier = -1;
  if (connection.result == Connection::Result::kConnected) {
    for (int j = 0; j < row && earlier < 0; ++j) {
      if (m_doc.m_docDisplays[static_cast<size_t>(j)].m_address == address) earlier = j;
    }
  }
  if (!IsDottedIPv4(address)) {
    m_doc.m_docConnectState[static_cast<size_t>(row)] = 0;
    m_tree.AppendSingle(shown, TreeIcon::kDisconnected);
    return;
  }
  if (earlier < 0) {
    const bool connected = m_link.AdoptConnection(row, address, connection) == 1;
    m_tree.AppendSingle(shown, connected ? TreeIcon::kConnected : TreeIcon::kDisconnected);
    return;
  }
  // Already known: the earlier entry takes the new link and keeps its name.
  m_link.AdoptConnection(earlier, address, connection);
  RemoveDisplayRowLocked(row);
  m_tree.SetSingleIconsByKey(address, TreeIcon::kConnected);
}

int CConsoleCore::AddDiscoveredMonitor(const std::string& address) {
  std::vector<Connection> connection =
      ConnectAll(m_link.Api(), {address}, m_link.Options(1, StopFd()));
  const State state = Lock();
  return AddConnectedMonitor(state, address, connection.front());
}

// One address, one entry: an entry stored without a MAC keeps its place, its name and its
// live link when the display answers at its address.
int CConsoleCore::AddConnectedMonitor(const State&, const std::string& address,
                                      const Connection& result) {
  auto drop = [&](int outcome) {
    if (result.fd != kNoSocket) m_link.Api().Close(result.fd);
    return outcome;
  };
  if (result.result == Connection::Result::kCancelled) return drop(-1);
  int& count = m_doc.m_docSocketNumber;
  count = std::clamp(count, 0, kMaxDisplays);
  int known = -1;
  for (int j = 0; j < count && known < 0; ++j) {
    if (m_doc.m_docDisplays[static_cast<size_t>(j)].m_address == address) known = j;
  }
  if (known >= 0) {
    if (m_doc.m_docConnectState[static_cast<size_t>(known)] == 1) return drop(1);
    const int connected = m_link.AdoptConnection(known, address, result);
    m_tree.SetSingleIconsByKey(address,
                               connected == 1 ? TreeIcon::kConnected : TreeIcon::kDisconnected);
    return connected;
  }
  const int row = m_doc.AppendDisplay(address);
  if (row < 0) return drop(-1);
  const int connected = m_link.AdoptConnection(row, address, result);
  if (connected != 1) m_doc.m_docConnectState[static_cast<size_t>(row)] = 0;
  m_tree.AppendSingle(address, connected == 1 ? TreeIcon::kConnected : TreeIcon::kDisconnected);
  return connected;
}

void CConsoleCore::RemoveDisplayRowLocked(int row) {
  const int count = std::clamp(m_doc.m_docSocketNumber, 0, kMaxDisplays);
  if (row < 0 || row >= count) return;
  const DisplayId id = m_doc.IdAt(row);
  m_link.Sockets().Forget(id);
  m_facts.erase(id);
  m_doc.EraseDisplayRow(row);
}

// ---- Marking ----

void CConsoleCore::MarkDisconnectedLocked(int row) {
  if (!LinkState::ValidIndex(row)) return;
  m_tree.MarkDisconnected(DisplayAddress(row));
  if (m_doc.m_docConnectState[static_cast<size_t>(row)] == 1) m_link.CloseLink(row);
}

// ---- History and alarms ----

// A line about "the current display" names the display the operator selected, not whichever
// display holds a row it once had.
void CConsoleCore::State::AppendHistory(std::string_view operation) const {
  const COsprelNetworkManagerDoc& doc = m_core->m_doc;
  if (doc.m_docCommunicationSelect == kSerialMode) {
    m_core->AppendSerialHistoryLocked(Selected().SetNumberText(), operation);
  } else if (doc.m_docCommunicationSelect == kNetworkMode) {
    m_core->QueueHistoryLocked(kNetworkMode, SelectedAddress(), operation);
  }
}

std::string CConsoleCore::State::SelectedAddress() const {
  return AddressOf(Selected().display());
}

void CConsoleCore::State::AppendHistoryFor(DisplayId id, std::string_view operation) const {
  const int row = RowOf(id);
  if (row >= 0) m_core->AppendHistoryLocked(row, operation);
}

void CConsoleCore::AppendSerialHistoryLocked(const std::string& setNumber,
                                             std::string_view operation) {
  QueueHistoryLocked(kSerialMode, setNumber, operation);
}

// A line names the display of the row, as the table holds it; an entry without an address
// stays without one rather than borrowing another display's.
void CConsoleCore::AppendHistoryLocked(int row, std::string_view operation) {
  QueueHistoryLocked(kNetworkMode, DisplayAddress(row), operation);
}

// A stored address that is no IP address is never written as it stands: the report is read by
// people and programs that take its subject for an address.
void CConsoleCore::QueueHistoryLocked(int communicationSelect, std::string_view subject,
                                      std::string_view operation) {
  if (communicationSelect == kNetworkMode && !subject.empty() && !IsDottedIPv4(subject)) {
    subject = "(invalid address)";
  }
  m_history.SetFolder(m_doc.m_docConfigFolder);
  auto line = m_history.Prepare(communicationSelect, subject, operation);
  if (!line) return;
  {
    std::lock_guard lock(m_historyMutex);
    m_historyQueue.push_back(std::move(*line));
    ++m_historyMade;
  }
  m_historyWake.notify_one();
}

// The history writer's thread: the one writer of the reports, so lines reach them in the
// order they were made, and no thread that lets go of the console lock waits for the disk.
void CConsoleCore::WriteHistory() {
  std::unique_lock lock(m_historyMutex);
  for (;;) {
    m_historyWake.wait(lock, [this] { return m_historyStop || !m_historyQueue.empty(); });
    if (m_historyQueue.empty()) return;  // stopped, and everything written
    std::vector<HistoryLine> lines;
    lines.swap(m_historyQueue);
    const HistoryWriter writer = m_historyWriter;
    const std::uint64_t taken = m_historyMade;
    lock.unlock();
    if (writer) writer(lines);
    lock.lock();
    m_historyDone = taken;
    m_historyWritten.notify_all();
  }
}

void CConsoleCore::FlushHistory() {
  std::unique_lock lock(m_historyMutex);
  const std::uint64_t made = m_historyMade;
  m_historyWritten.wait_for(lock, kFlushDeadline, [&] { return m_historyDone >= made; });
}

void CConsoleCore::SetHistoryWriter(HistoryWriter writer) {
  std::lock_guard lock(m_historyMutex);
  m_historyWriter = std::move(writer);
}

void CConsoleCore::State::SendAlarmMail(AlarmKind kind, const std::string& address) const {
  if (m_core->m_alarm != nullptr) m_core->m_alarm->Enqueue(kind, address);
}

void CConsoleCore::State::AppendAlarmHistory(const std::string& subject,
                                             std::string_view operation) const {
  m_core->QueueHistoryLocked(m_core->m_doc.m_docCommunicationSelect, subject, operation);
}

// ---- NetworkLinkHost ----

std::string CConsoleCore::DisplayAddress(int index) const {
  if (!LinkState::ValidIndex(index)) return {};
  return m_doc.m_docDisplays[static_cast<size_t>(index)].m_address;
}

LinkEndpoint CConsoleCore::EndpointAt(int index) const {
  if (!LinkState::ValidIndex(index)) return {};
  const DisplayRecord& record = m_doc.m_docDisplays[static_cast<size_t>(index)];
  if (record.m_linkKind != LinkKind::kPjlink) return {};
  const auto password = m_doc.m_docPjlinkPasswords.find(record.m_address);
  return {.kind = LinkKind::kPjlink,
          .port = kPjlinkPort,
          .password = password == m_doc.m_docPjlinkPasswords.end() ? "" : password->second};
}

ConnectOptions CConsoleCore::ConnectOptionsFor(const std::vector<DisplayId>& ids, int attempts) {
  std::vector<int> rows;
  rows.reserve(ids.size());
  auto state = Lock();
  for (DisplayId id : ids) rows.push_back(state.RowOf(id));
  return m_link.Options(attempts, StopFd(), rows);
}

void CConsoleCore::SetDisplayAddress(int index, const std::string& address) {
  if (LinkState::ValidIndex(index))
    m_doc.m_docDisplays[static_cast<size_t>(index)].m_address = address;
}

// No connect is tried to an entry that has no IP address, so nothing is written for it.
void CConsoleCore::LinkHistory(std::string_view address, std::string_view operation) {
  if (!IsDottedIPv4(address)) return;
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
