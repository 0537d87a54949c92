#include "console/link_supervisor.h"

#include <algorithm>

#include "console/pjlink_links.h"
#include "links/ip_address.h"
#include "links/link_connector.h"
#include "platform/trace.h"
#include "platform/ui_thread.h"
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

namespace {

// A member of the selected network group is down. Lock held.
bool SelectedMemberDown(const CConsoleCore::State& state) {
  const Selection& selection = state->Selected();
  if (selection.kind() != Selection::Kind::kGroup) return false;
  for (DisplayId id : selection.PresentMembers()) {
    const int row = state->RowOf(id);
    if (row >= 0 && state->Doc().m_docConnectState[static_cast<size_t>(row)] != 1) return true;
  }
  return false;
}

}  // namespace

// The open group list is read again after a pass that reconnected a display, and after every
// pass while a member of the selected group is down: the operator is watching that group come
// back, and its links also come back (or go) without this pass, through Connect or a page's
// exchange.
void CLinkSupervisor::RunPass() {
  Trace("Disconnect Check");
  std::vector<DisplayId> ids;
  std::vector<std::string> addresses;
  bool memberDown = false;
  {
    auto state = m_core.Lock();
    const COsprelNetworkManagerDoc& doc = state->Doc();
    if (doc.m_docCommunicationSelect != kNetworkMode) return;
    const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
    for (int row = 0; row < count; ++row) {
      if (doc.m_docConnectState[static_cast<size_t>(row)] != 0) continue;
      if (!IsDottedIPv4(state->DisplayAddress(row))) continue;  // never connected
      // A refused password is tried again only with a new one, or when the operator asks.
      const DisplayFacts* facts = state->FactsOf(state->IdAt(row));
      if (facts != nullptr && facts->pjlink.authFailed) continue;
      ids.push_back(state->IdAt(row));
      addresses.push_back(state->DisplayAddress(row));
    }
    memberDown = SelectedMemberDown(state);
  }
  ServePjlinkDisplays(m_core);
  if ((ids.empty() && !memberDown) || m_core.Stopping()) return;
  const bool reconnected = !ids.empty() && Reconnect(ids, addresses);
  if ((!reconnected && !memberDown) || m_core.Stopping()) return;
  const int groupMembers = m_core.Lock()->Selected().MemberCount();
  if (m_pages.GroupStatusActive()) m_pages.GroupDiagnosis(groupMembers);
}

// Every display marked down is tried at once, each with its two attempts, so a pass takes
// about two seconds however many displays are down. The connects run without the console
// lock; their outcomes are recorded under it in table order, as one pass after another would
// have recorded them. True when one was reconnected.
bool CLinkSupervisor::Reconnect(const std::vector<DisplayId>& ids,
                                const std::vector<std::string>& addresses) {
  for (size_t i = 0; i < ids.size(); ++i) Trace("TRY ReConnection");
  CNetworkLink& link = m_core.Link();
  const std::vector<Connection> results =
      ConnectAll(link.Api(), addresses, m_core.ConnectOptionsFor(ids, 2));
  int starved = 0;
  bool reconnected = false;
  {
    auto state = m_core.Lock();
    for (size_t i = 0; i < ids.size(); ++i) {
      state->LetOthersIn();
      if (results[i].result == Connection::Result::kNoDescriptors) ++starved;
      if (Record(state, ids[i], addresses[i], results[i])) reconnected = true;
    }
  }
  // Not the displays' fault: they were never tried, and stay down for the next pass.
  if (starved > 0) Trace("no descriptor left to reconnect %d display(s)", starved);
  if (reconnected) GreetPjlinkDisplays(m_core, ids);
  return reconnected;
}

// The outcome is recorded unless the display was connected, deleted or the console closed
// meanwhile.
bool CLinkSupervisor::Record(const CConsoleCore::State& state, DisplayId id,
                             const std::string& address, const Connection& result) {
  CNetworkLink& link = m_core.Link();
  COsprelNetworkManagerDoc& doc = state->Doc();
  const int row = state->RowOf(id);
  if (result.result == Connection::Result::kCancelled ||
      result.result == Connection::Result::kNoDescriptors || row < 0 ||
      doc.m_docConnectState[static_cast<size_t>(row)] == 1 ||
      state->DisplayAddress(row) != address) {
    if (result.fd != kNoSocket) link.Api().Close(result.fd);
    return false;
  }
  const CNetworkLink::Attempt attempt{
      .fd = result.fd,
      .attemptNumber = result.attemptNumber,
      .waitFailed = result.result == Connection::Result::kSetupFailed};
  if (link.FinishReconnect(row, address, attempt) == 0) return false;
  DeviceTree& tree = state->Tree();
  const TreeItem item = tree.FindSingleByKey(address);
  if (item != kNoItem) tree.SetIcon(item, TreeIcon::kConnected);
  tree.PropagateIcons();
  return true;
}

}  // namespace tarnex
