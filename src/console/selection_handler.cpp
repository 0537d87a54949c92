#include "console/selection_handler.h"

#include <algorithm>
#include <vector>

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
  Followup followup;
  {
    std::lock_guard lock(m_core.Mutex());
    const Designation designation = m_core.Tree().Select(item);
    m_core.Doc().m_docTargetConnected = 0;
    if (m_core.Doc().m_docCommunicationSelect == kNetworkMode) {
      followup = SelectNetwork(designation);
    } else if (m_core.Doc().m_docCommunicationSelect == kSerialMode) {
      followup = SelectSerial(designation);
    }
  }
  Run(followup);
}

CSelectionHandler::Followup CSelectionHandler::SelectNetwork(const Designation& designation) {
  if (designation.kind == TargetKind::kNetworkGroup) return SelectNetworkGroup(designation);
  m_core.m_bTargetIsGroup = false;
  m_core.m_bEmptyGroup = false;
  if (!IsDisplayItem(designation.kind)) return {};
  return SelectNetworkDisplay(designation.key);
}

CSelectionHandler::Followup CSelectionHandler::SelectNetworkDisplay(const std::string& key) {
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  const auto index = LastDisplayIndex(DisplayAddresses(doc), key);
  // A member whose display is no longer in the table designates nothing; acting on the
  // previous display instead would send to the wrong one.
  if (!index) return {};
  doc.m_docTargetConnected = 1;
  doc.m_docSelectedLinkUp = 1;
  doc.m_docCurrentDisplay = *index;
  if (doc.m_docConnectState[static_cast<size_t>(*index)] == 1) return Followup::Refresh();
  return Followup::Connect(*index, key);
}

void CSelectionHandler::ConnectOnWorker(int index, const std::string& address, TreeItem item) {
  CNetworkLink& link = m_core.Link();
  const std::vector<Connection> connection =
      ConnectAll(link.Api(), {address}, link.Options(1, m_core.StopFd()));
  Followup followup;
  {
    std::lock_guard lock(m_core.Mutex());
    followup = RecordConnect(index, address, item, connection.front());
  }
  Run(followup);
}

// The outcome is the selection's only while the operator still has the item selected; a
// display the operator has left meanwhile only gets its state and icons.
CSelectionHandler::Followup CSelectionHandler::RecordConnect(int index, const std::string& address,
                                                             TreeItem item,
                                                             const Connection& connection) {
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  DeviceTree& tree = m_core.Tree();
  if (connection.result == Connection::Result::kCancelled) {
    if (connection.fd != kNoSocket) m_core.Link().Api().Close(connection.fd);
    return {};
  }
  const bool selected = tree.ViewState().m_hSelectedItem == item;
  if (m_core.Link().AdoptConnection(index, address, connection) == 1) {
    if (!selected) {
      tree.MarkCurrentConnected(address);
      return {};
    }
    doc.m_docTargetConnected = 1;
    doc.m_docSelectedLinkUp = 1;
    // The display's "Single" item and every member item that stands for it turn connected,
    // whichever of them is selected.
    tree.MarkConnected();
    tree.MarkCurrentConnected(address);
    return Followup::Refresh();
  }
  doc.m_docConnectState[static_cast<size_t>(index)] = 0;
  if (!selected) return {};
  tree.MarkSelectedDisconnected();
  doc.m_docTargetConnected = 0;
  doc.m_docSelectedLinkUp = -1;
  return Followup::Message(connection.result == Connection::Result::kNoDescriptors
                               ? "Too many open files: the display could not be connected."
                               : "Connection Fail");
}

CSelectionHandler::Followup CSelectionHandler::SelectNetworkGroup(const Designation& designation) {
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  doc.m_docSelectedLinkUp = 0;
  const int members = static_cast<int>(designation.memberKeys.size());
  if (members > 0) {
    doc.m_docTargetConnected = 1;
    m_core.m_bTargetIsGroup = true;
    m_core.m_bEmptyGroup = false;
  } else {
    doc.m_docTargetConnected = 0;
    m_core.m_bEmptyGroup = true;
  }
  return Followup::Group(members);
}

CSelectionHandler::Followup CSelectionHandler::SelectSerial(const Designation& designation) {
  COsprelNetworkManagerDoc& doc = m_core.Doc();
  if (designation.kind == TargetKind::kSerialGroup) {
    m_core.m_bTargetIsGroup = true;
    doc.m_docCurrentGroup = designation.groupNumber;
    const int members = static_cast<int>(designation.memberKeys.size());
    doc.m_docTargetConnected = members > 0 ? 1 : 0;
    return Followup::Group(members);
  }
  m_core.m_bTargetIsGroup = false;
  if (designation.kind != TargetKind::kSerialSet) return {};
  doc.m_docTargetConnected = 1;
  doc.m_docSelectedLinkUp = 1;
  doc.m_docSetIdAnswered = 1;
  doc.m_docHistorySetID = std::to_string(designation.serialId);
  doc.m_docCurrentSetId = designation.setId;
  doc.m_docCurrentSerialId = designation.serialId;
  if (designation.setId == "00") return {};
  m_core.Tree().PropagateIcons();
  return Followup::Refresh();
}

void CSelectionHandler::Run(const Followup& followup) {
  if (followup.connectIndex >= 0) {
    TreeItem item;
    {
      std::lock_guard lock(m_core.Mutex());
      item = m_core.Tree().ViewState().m_hSelectedItem;
    }
    m_core.Jobs().Post([this, index = followup.connectIndex, address = followup.connectAddress,
                        item] { ConnectOnWorker(index, address, item); });
  }
  if (followup.groupMembers >= 0) {
    if (m_pages.GroupStatusActive()) m_pages.RefreshGroupStatus(followup.groupMembers);
    m_pages.SetGroupMemberCount(followup.groupMembers);
  }
  if (followup.refreshPage) m_pages.RefreshActivePage();
  if (!followup.message.empty()) m_core.Ui().ShowMessage(followup.message);
}

void CSelectionHandler::OnConnectCommand() {
  Followup followup;
  {
    std::lock_guard lock(m_core.Mutex());
    COsprelNetworkManagerDoc& doc = m_core.Doc();
    if (doc.m_docCommunicationSelect != kNetworkMode) return;
    DeviceTree& tree = m_core.Tree();
    const Designation designation = Designate(tree, tree.ViewState().m_hSelectedItem);
    // Only a display has an address to connect to; a group's name is not one.
    if (!IsDisplayItem(designation.kind)) return;
    // The selected item names the display, not whichever display was current before: a
    // member whose address is in no table entry must not take over another display's entry.
    const auto index = LastDisplayIndex(DisplayAddresses(doc), designation.key);
    if (!index || doc.m_docConnectState[static_cast<size_t>(*index)] == 1) return;
    doc.m_docCurrentDisplay = *index;
    followup = Followup::Connect(*index, designation.key);
  }
  Run(followup);
}

}  // namespace tarnex
