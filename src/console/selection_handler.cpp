#include "console/selection_handler.h"

#include <algorithm>
#include <vector>

#include "console/pjlink_links.h"
#include "links/ip_address.h"
#include "platform/ui_thread.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

std::vector<std::string> DisplayAddresses(const COsprelNetworkManagerDoc& doc) {
  const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
  std::vector<std::string> addresses;
  addresses.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    addresses.push_back(doc.m_docDisplays[static_cast<size_t>(i)].m_address);
  return addresses;
}

bool IsDisplayItem(TargetKind kind) {
  return kind == TargetKind::kDisplay || kind == TargetKind::kGroupMember;
}

// A member whose address no display of the table holds designates nothing: acting on another
// display instead would send to the wrong one.
Selection NetworkSelection(const CConsoleCore::State& state, const Designation& designation,
                           TreeItem item) {
  const std::vector<std::string> addresses = DisplayAddresses(state->Doc());
  if (designation.kind == TargetKind::kNetworkGroup) {
    // A member whose address occurs several times in the display table stands for each of
    // them, as it always has: the command goes once per occurrence.
    std::vector<SelectedMember> members;
    for (const std::string& key : designation.memberKeys) {
      bool found = false;
      for (size_t row = 0; row < addresses.size(); ++row) {
        if (addresses[row] != key) continue;
        members.push_back({state->IdAt(static_cast<int>(row)), key});
        found = true;
      }
      if (!found) members.push_back({kNoDisplay, key});
    }
    return Selection::Group(designation.groupNumber, state->Tree().Model().Label(item),
                            std::move(members), item);
  }
  if (!IsDisplayItem(designation.kind)) return {};
  const auto index = LastDisplayIndex(addresses, designation.key);
  if (!index) return {};
  return Selection::Display(state->IdAt(*index), designation.key, item);
}

Selection SerialSelection(const CConsoleCore::State& state, const Designation& designation,
                          TreeItem item) {
  if (designation.kind == TargetKind::kSerialSet) {
    return Selection::SerialDisplay(designation.serialId, item);
  }
  if (designation.kind != TargetKind::kSerialGroup) return {};
  // Members in tree order; a member label without a set number has no display to reach.
  const TreeModel& model = state->Tree().Model();
  std::vector<int> numbers;
  for (TreeItem member : model.Children(item)) {
    if (const auto number = SerialSetNumber(model.Label(member))) numbers.push_back(*number);
  }
  return Selection::SerialGroup(designation.groupNumber, model.Label(item), std::move(numbers),
                                item);
}

}  // namespace

Selection SelectionFor(const CConsoleCore::State& state, const Designation& designation,
                       TreeItem item) {
  const int mode = state->Doc().m_docCommunicationSelect;
  if (mode == kNetworkMode) return NetworkSelection(state, designation, item);
  if (mode == kSerialMode) return SerialSelection(state, designation, item);
  return {};
}

CSelectionHandler::CSelectionHandler(CConsoleCore& core, PageHost& pages)
    : m_core(core), m_pages(pages) {}

// What follows a selection (a page refresh, a message box) runs after the console lock is
// released, so that a supervision pass can record its reconnects meanwhile.
void CSelectionHandler::OnSelectionChanged(TreeItem item) {
  ExpectOnUiThread("a selection change");
  Followup followup;
  // Reads still queued or running for the previous selection end now, blaming nobody: the
  // display the operator turned to is read at once.
  m_core.NewReadToken();
  {
    auto state = m_core.Lock();
    const Designation designation = state->Tree().Select(item);
    state->Select(SelectionFor(state, designation, item));
    followup = Follow(state, state->Selected());
  }
  m_pages.SelectionChanged();
  Run(followup);
}

CSelectionHandler::Followup CSelectionHandler::Follow(const State& state,
                                                      const Selection& selection) {
  switch (selection.kind()) {
    case Selection::Kind::kDisplay: {
      if (state->SelectedLinkUp()) return Followup::Refresh();
      if (DisplayFacts* facts = state->FactsOf(selection.display())) facts->connectPending = true;
      return Followup::Connect(selection.display(), selection.address());
    }
    case Selection::Kind::kGroup:
    case Selection::Kind::kSerialGroup:
      return Followup::Group(selection.MemberCount());
    case Selection::Kind::kSerialDisplay: {
      // Each selection of a set ID gives it a fresh chance to answer.
      if (DisplayFacts* facts = state->SerialFactsOf(selection.setNumber())) {
        facts->setIdAnswered = true;
      }
      if (selection.setNumber() == 0) return {};
      state->Tree().PropagateIcons();
      return Followup::Refresh();
    }
    case Selection::Kind::kNothing:
      break;
  }
  return {};
}

void CSelectionHandler::ConnectOnWorker(DisplayId id, const std::string& address, TreeItem item,
                                        std::uint64_t generation) {
  CNetworkLink& link = m_core.Link();
  {
    // Connect pressed: a display that refused its password is tried again.
    auto state = m_core.Lock();
    if (DisplayFacts* facts = state->FactsOf(id)) facts->pjlink.authFailed = false;
  }
  // An entry that has no IP address fails as a display that refuses, without a try.
  const std::vector<Connection> connection =
      IsDottedIPv4(address)
          ? ConnectAll(link.Api(), {address}, m_core.ConnectOptionsFor({id}, 1))
          : std::vector<Connection>{Connection{.result = Connection::Result::kNotConnected}};
  ConnectResult result;
  {
    auto state = m_core.Lock();
    result = RecordConnect(state, id, address, connection.front());
  }
  if (!result.recorded) return;
  if (result.connected) GreetPjlinkDisplays(m_core, {id});
  m_core.Ui().RunOnUi(
      [this, id, item, generation, result] { ApplyConnect(id, item, generation, result); });
}

// The display's own state and icons, whoever is selected now. A display deleted while it
// connected is left alone, and so is everything on a close.
CSelectionHandler::ConnectResult CSelectionHandler::RecordConnect(const State& state, DisplayId id,
                                                                  const std::string& address,
                                                                  const Connection& connection) {
  const int row = state->RowOf(id);
  if (DisplayFacts* facts = state->FactsOf(id)) facts->connectPending = false;
  if (connection.result == Connection::Result::kCancelled || row < 0) {
    if (connection.fd != kNoSocket) m_core.Link().Api().Close(connection.fd);
    return {};
  }
  ConnectResult result{.recorded = true, .connected = false, .noDescriptors = false};
  if (state->Link().AdoptConnection(row, address, connection) == 1) {
    state->Tree().MarkCurrentConnected(address);
    result.connected = true;
    return result;
  }
  state->Doc().m_docConnectState[static_cast<size_t>(row)] = 0;
  state->Tree().MarkDisconnected(address);
  result.noDescriptors = connection.result == Connection::Result::kNoDescriptors;
  return result;
}

// UI thread. The outcome is the selection's only while the operator still has the item
// selected, and the item still stands for the display that was connected.
void CSelectionHandler::ApplyConnect(DisplayId id, TreeItem item, std::uint64_t generation,
                                     const ConnectResult& result) {
  ExpectOnUiThread("a connect's change of the selection");
  Followup followup;
  {
    auto state = m_core.Lock();
    DeviceTree& tree = state->Tree();
    if (state->SelectionGeneration() != generation || tree.ViewState().m_hSelectedItem != item ||
        state->RowOf(id) < 0 || state->Selected().display() != id || m_core.Stopping()) {
      return;
    }
    if (result.connected) {
      // The display's "Single" item and every member item that stands for it turn connected,
      // whichever of them is selected.
      tree.MarkConnected();
      followup = Followup::Refresh();
    } else {
      tree.MarkSelectedDisconnected();
      followup = Followup::Message(result.noDescriptors
                                       ? "Too many open files: the display could not be connected."
                                       : "Connection Fail");
    }
  }
  Run(followup);
}

void CSelectionHandler::Run(const Followup& followup) {
  if (followup.connectId != kNoDisplay) {
    TreeItem item;
    std::uint64_t generation;
    {
      auto state = m_core.Lock();
      item = state->Tree().ViewState().m_hSelectedItem;
      generation = state->SelectionGeneration();
    }
    m_core.Jobs().Post(JobKeys::Display(followup.connectId),
                       [this, id = followup.connectId, address = followup.connectAddress, item,
                        generation] { ConnectOnWorker(id, address, item, generation); });
  }
  if (followup.groupMembers >= 0) {
    if (m_pages.GroupStatusActive()) m_pages.RefreshGroupStatus(followup.groupMembers);
    m_pages.SetGroupMemberCount(followup.groupMembers);
  }
  if (followup.showGroupMembers >= 0) m_pages.ShowGroupStatus(followup.showGroupMembers);
  if (followup.refreshPage) m_pages.RefreshActivePage();
  if (!followup.message.empty()) m_core.Ui().ShowMessage(followup.message);
}

void CSelectionHandler::OnConnectCommand() {
  ExpectOnUiThread("the Connect command");
  Followup followup;
  {
    auto state = m_core.Lock();
    if (state->Doc().m_docCommunicationSelect != kNetworkMode) return;
    followup = ConnectSelected(state, state->Selected());
  }
  Run(followup);
}

// A group has no address to connect to; while the information pages are shown, Connect shows
// its members instead. A display is connected only when its link is down.
CSelectionHandler::Followup CSelectionHandler::ConnectSelected(const State& state,
                                                               const Selection& selection) {
  if (selection.kind() == Selection::Kind::kGroup) {
    Followup followup;
    if (state->Doc().m_docInformationShown == 1)
      followup.showGroupMembers = selection.MemberCount();
    return followup;
  }
  if (selection.kind() != Selection::Kind::kDisplay || state->SelectedLinkUp()) return {};
  if (state->RowOf(selection.display()) < 0) return {};
  if (DisplayFacts* facts = state->FactsOf(selection.display())) facts->connectPending = true;
  return Followup::Connect(selection.display(), selection.address());
}

}  // namespace tarnex
