#include "console/link_supervisor.h"

#include <algorithm>

#include "links/link_connector.h"
#include "platform/trace.h"
#include "registry/tree_labels.h"

namespace tarnex {

CLinkSupervisor::CLinkSupervisor(CConsoleCore& core, PageHost& pages)
    : m_core(core), m_pages(pages) {}

CLinkSupervisor::~CLinkSupervisor() {
  Wait();
}

bool CLinkSupervisor::OnTick() {
  {
    if (m_core.Lock()->Doc().m_docCommunicationSelect != kNetworkMode) return false;
  }
  std::lock_guard threadLock(m_threadMutex);
  if (m_running.exchange(true)) return false;  // the previous pass is still reconnecting
  if (m_thread.joinable()) m_thread.join();
  // The pass runs on its own thread; it reaches the window only through UiHost and PageHost.
  m_thread = std::thread([this] {
    RunPass();
    m_running.store(false);
  });
  return true;
}

void CLinkSupervisor::Wait() {
  std::lock_guard threadLock(m_threadMutex);
  if (m_thread.joinable()) m_thread.join();
}

// Every display marked down is tried at once, each with its two attempts, so a pass takes
// about two seconds however many displays are down. The connects run without the console
// lock; their outcomes are recorded under it in table order, as one pass after another would
// have recorded them.
void CLinkSupervisor::RunPass() {
  Trace("Disconnect Check");
  std::vector<int> indexes;
  std::vector<std::string> addresses;
  {
    auto state = m_core.Lock();
    const COsprelNetworkManagerDoc& doc = state->Doc();
    if (doc.m_docCommunicationSelect != kNetworkMode) return;
    const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
    for (int index = 0; index < count; ++index) {
      if (doc.m_docConnectState[static_cast<size_t>(index)] != 0) continue;
      indexes.push_back(index);
      addresses.push_back(state->DisplayAddress(index));
    }
  }
  if (indexes.empty() || m_core.Stopping()) return;
  for (size_t i = 0; i < indexes.size(); ++i) Trace("TRY ReConnection");
  CNetworkLink& link = m_core.Link();
  const std::vector<Connection> results =
      ConnectAll(link.Api(), addresses, link.Options(2, m_core.StopFd()));
  int starved = 0;
  auto state = m_core.Lock();
  for (size_t i = 0; i < indexes.size(); ++i) {
    if (results[i].result == Connection::Result::kNoDescriptors) ++starved;
    Record(state, indexes[i], addresses[i], results[i]);
  }
  // Not the displays' fault: they were never tried, and stay down for the next pass.
  if (starved > 0) Trace("no descriptor left to reconnect %d display(s)", starved);
}

// The outcome is recorded unless the display was connected or the table changed meanwhile.
void CLinkSupervisor::Record(const CConsoleCore::State& state, int index,
                             const std::string& address, const Connection& result) {
  CNetworkLink& link = m_core.Link();
  COsprelNetworkManagerDoc& doc = state->Doc();
  if (result.result == Connection::Result::kCancelled ||
      result.result == Connection::Result::kNoDescriptors ||
      doc.m_docConnectState[static_cast<size_t>(index)] == 1 ||
      state->DisplayAddress(index) != address) {
    if (result.fd != kNoSocket) link.Api().Close(result.fd);
    return;
  }
  const CNetworkLink::Attempt attempt{
      .fd = result.fd,
      .attemptNumber = result.attemptNumber,
      .waitFailed = result.result == Connection::Result::kSetupFailed};
  if (link.FinishReconnect(index, address, attempt) == 0) return;

  DeviceTree& tree = state->Tree();
  const TreeItem selected = tree.ViewState().m_hSelectedItem;
  // Only a display that is the selection makes the selection usable again.
  if (selected != kNoItem && DisplayKey(tree.Model().Label(selected)) == address &&
      tree.Model().ChildCount(selected) == 0) {
    doc.m_docTargetConnected = 1;
  }
  const TreeItem item = tree.FindSingleByKey(address);
  if (item != kNoItem) tree.SetIcon(item, TreeIcon::kConnected);
  tree.PropagateIcons();
  if (m_pages.GroupStatusActive()) m_pages.GroupDiagnosis(tree.Model().ChildCount(selected));
}

}  // namespace tarnex
