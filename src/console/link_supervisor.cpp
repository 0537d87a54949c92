#include "console/link_supervisor.h"

#include <algorithm>

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
    std::lock_guard lock(m_core.Mutex());
    if (m_core.Doc().m_docCommunicationSelect != kNetworkMode) return false;
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

void CLinkSupervisor::RunPass() {
  Trace("Disconnect Check");
  int count;
  {
    std::lock_guard lock(m_core.Mutex());
    count = std::clamp(m_core.Doc().m_docSocketNumber, 0, kMaxDisplays);
  }
  for (int index = 0; index < count; ++index) ReconnectDisplay(index);
}

// The connect attempts take up to 2 s and run without the console lock, so the operator can
// work meanwhile; the outcome is recorded under the lock, unless the display was connected
// or the table changed in between.
void CLinkSupervisor::ReconnectDisplay(int index) {
  std::string address;
  {
    std::lock_guard lock(m_core.Mutex());
    const COsprelNetworkManagerDoc& doc = m_core.Doc();
    if (doc.m_docCommunicationSelect != kNetworkMode || index >= doc.m_docSocketNumber) return;
    if (doc.m_docConnectState[static_cast<size_t>(index)] != 0) return;
    address = m_core.DisplayAddress(index);
  }
  Trace("TRY ReConnection");
  CNetworkLink& link = m_core.Link();
  const CNetworkLink::Attempt attempt = link.OpenWithRetry(address);

  std::lock_guard lock(m_core.Mutex());
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  if (doc.m_docConnectState[static_cast<size_t>(index)] == 1 ||
      m_core.DisplayAddress(index) != address) {
    if (attempt.fd != kNoSocket) link.Api().Close(attempt.fd);
    return;
  }
  if (link.FinishReconnect(index, address, attempt) == 0) return;

  DeviceTree& tree = m_core.Tree();
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
