#include "console/selection_handler.h"

#include <algorithm>
#include <vector>

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

}  // namespace

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
    state->NewSelection();
    const Designation designation = state->Tree().Select(item);
    state->Doc().m_docTargetConnected = 0;
    if (state->Doc().m_docCommunicationSelect == kNetworkMode) {
      followup = SelectNetwork(state, designation);
    } else if (state->Doc().m_docCommunicationSelect == kSerialMode) {
      followup = SelectSerial(state, designation);
    }
  }
  Run(followup);
}

CSelectionHandler::Followup CSelectionHandler::SelectNetwork(const State& state,
                                                             const Designation& designation) {
  if (designation.kind == TargetKind::kNetworkGroup) return SelectNetworkGroup(state, designation);
  state->TargetIsGroup() = false;
  state->EmptyGroup() = false;
  if (!IsDisplayItem(designation.kind)) return {};
  return SelectNetworkDisplay(state, designation.key);
}

CSelectionHandler::Followup CSelectionHandler::SelectNetworkDisplay(const State& state,
                                                                    const std::string& key) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  const auto index = LastDisplayIndex(DisplayAddresses(doc), key);
  // A member whose display is no longer in the table designates nothing; acting on the
  // previous display instead would send to the wrong one.
  if (!index) return {};
  doc.m_docTargetConnected = 1;
  doc.m_docSelectedLinkUp = 1;
  doc.m_docCurrentDisplay = *index;
  if (doc.m_docConnectState[static_cast<size_t>(*index)] == 1) return Followup::Refresh();
  return Followup::Connect(state->IdAt(*index), key);
}

void CSelectionHandler::ConnectOnWorker(DisplayId id, const std::string& address, TreeItem item,
                                        std::uint64_t generation) {
  CNetworkLink& link = m_core.Link();
  // An entry that has no IP address fails as a display that refuses, without a try.
  const std::vector<Connection> connection =
      IsDottedIPv4(address)
          ? ConnectAll(link.Api(), {address}, link.Options(1, m_core.StopFd()))
          : std::vector<Connection>{Connection{.result = Connection::Result::kNotConnected}};
  ConnectResult result;
  {
    auto state = m_core.Lock();
    result = RecordConnect(state, id, address, connection.front());
  }
  if (!result.recorded) return;
  m_core.Ui().RunOnUi(
      [this, id, item, generation, result] { ApplyConnect(id, item, generation, result); });
}

// The display's own state and icons, whoever is selected now. A display deleted while it
// connected is left alone, and so is everything on a close.
CSelectionHandler::ConnectResult CSelectionHandler::RecordConnect(const State& state, DisplayId id,
                                                                  const std::string& address,
                                                                  const Connection& connection) {
  const int row = state->RowOf(id);
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
    COsprelNetworkManagerDoc& doc = state->Doc();
    DeviceTree& tree = state->Tree();
    const int row = state->RowOf(id);
    if (state->SelectionGeneration() != generation || tree.ViewState().m_hSelectedItem != item ||
        row < 0 || doc.m_docCurrentDisplay != row || m_core.Stopping()) {
      return;
    }
    if (result.connected) {
      doc.m_docTargetConnected = 1;
      doc.m_docSelectedLinkUp = 1;
      // The display's "Single" item and every member item that stands for it turn connected,
      // whichever of them is selected.
      tree.MarkConnected();
      followup = Followup::Refresh();
    } else {
      tree.MarkSelectedDisconnected();
      doc.m_docTargetConnected = 0;
      doc.m_docSelectedLinkUp = -1;
      followup = Followup::Message(result.noDescriptors
                                       ? "Too many open files: the display could not be connected."
                                       : "Connection Fail");
    }
  }
  Run(followup);
}

CSelectionHandler::Followup CSelectionHandler::SelectNetworkGroup(const State& state,
                                                                  const Designation& designation) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  doc.m_docSelectedLinkUp = 0;
  const int members = static_cast<int>(designation.memberKeys.size());
  if (members > 0) {
    doc.m_docTargetConnected = 1;
    state->TargetIsGroup() = true;
    state->EmptyGroup() = false;
  } else {
    doc.m_docTargetConnected = 0;
    state->EmptyGroup() = true;
  }
  return Followup::Group(members);
}

CSelectionHandler::Followup CSelectionHandler::SelectSerial(const State& state,
                                                            const Designation& designation) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  if (designation.kind == TargetKind::kSerialGroup) {
    state->TargetIsGroup() = true;
    doc.m_docCurrentGroup = designation.groupNumber;
    const int members = static_cast<int>(designation.memberKeys.size());
    doc.m_docTargetConnected = members > 0 ? 1 : 0;
    return Followup::Group(members);
  }
  state->TargetIsGroup() = false;
  if (designation.kind != TargetKind::kSerialSet) return {};
  doc.m_docTargetConnected = 1;
  doc.m_docSelectedLinkUp = 1;
  doc.m_docSetIdAnswered = 1;
  doc.m_docHistorySetID = std::to_string(designation.serialId);
  doc.m_docCurrentSetId = designation.setId;
  doc.m_docCurrentSerialId = designation.serialId;
  if (designation.setId == "00") return {};
  state->Tree().PropagateIcons();
  return Followup::Refresh();
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
    const DeviceTree& tree = state->Tree();
    followup = ConnectSelected(state, Designate(tree, tree.ViewState().m_hSelectedItem));
  }
  Run(followup);
}

CSelectionHandler::Followup CSelectionHandler::ConnectSelected(const State& state,
                                                               const Designation& designation) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  // A group has no address to connect to; while the information pages are shown, Connect
  // shows its members instead.
  if (designation.kind == TargetKind::kNetworkGroup) {
    Followup followup;
    if (doc.m_docInformationShown == 1) {
      followup.showGroupMembers = static_cast<int>(designation.memberKeys.size());
    }
    return followup;
  }
  if (!IsDisplayItem(designation.kind)) return {};
  // The selected item names the display, not whichever display was current before: a
  // member whose address is in no table entry must not take over another display's entry.
  const auto index = LastDisplayIndex(DisplayAddresses(doc), designation.key);
  if (!index || doc.m_docConnectState[static_cast<size_t>(*index)] == 1) return {};
  doc.m_docCurrentDisplay = *index;
  return Followup::Connect(state->IdAt(*index), designation.key);
}

}  // namespace tarnex
