#include <algorithm>

#include "console/command_transaction.h"
#include "console/pjlink_links.h"
#include "links/ip_address.h"
#include "platform/ui_thread.h"
#include "protocol/pjlink_codec.h"

namespace tarnex {
namespace {

using Outcome = PjlinkAddOutcome;

// The display is connected on its own kind's port and recorded; true when connected.
bool Reconnect(CConsoleCore& core, DisplayId id, const std::string& address) {
  const ConnectOptions options = core.ConnectOptionsFor({id}, 1);
  Connection connection = ConnectAll(core.Link().Api(), {address}, options).front();
  auto state = core.Lock();
  const int row = state->RowOf(id);
  if (row < 0 || connection.result == Connection::Result::kCancelled) {
    if (connection.fd != kNoSocket) core.Link().Api().Close(connection.fd);
    return false;
  }
  const bool connected = state->Link().AdoptConnection(row, address, connection) == 1;
  if (!connected) state->Doc().m_docConnectState[static_cast<size_t>(row)] = 0;
  DeviceTree& tree = state->Tree();
  tree.SetSingleIconsByKey(address, connected ? TreeIcon::kConnected : TreeIcon::kDisconnected);
  tree.PropagateIcons();
  return connected;
}

void StorePasswordLocked(const CConsoleCore::State& state, const std::string& address,
                         const std::string& password) {
  PjlinkPasswords& passwords = state->Doc().m_docPjlinkPasswords;
  if (password.empty()) {
    passwords.erase(address);
  } else {
    passwords[address] = password;
  }
}

std::optional<std::string> ReadName(CConsoleCore& core, DisplayId id) {
  return core.Transaction().NetworkQueryOnce(id, pjlink::Frame("NAME", "?"));
}

// The row of `address`, added when it is not listed; the result when it cannot be used.
std::optional<Outcome::Result> RowFor(const CConsoleCore::State& state, const std::string& address,
                                      const std::string& password, DisplayId* id, bool* known) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
  for (int row = 0; row < count; ++row) {
    DisplayRecord& record = doc.m_docDisplays[static_cast<size_t>(row)];
    if (record.m_address != address) continue;
    if (record.m_linkKind != LinkKind::kPjlink) return Outcome::Result::kNative;
    *id = state->IdAt(row);
    *known = true;
    StorePasswordLocked(state, address, password);
    if (DisplayFacts* facts = state->FactsOf(*id)) facts->pjlink.authFailed = false;
    state->Link().CloseLink(row);
    return std::nullopt;
  }
  const int row = doc.AppendDisplay(address);
  if (row < 0) return Outcome::Result::kFull;
  doc.m_docDisplays[static_cast<size_t>(row)].m_linkKind = LinkKind::kPjlink;
  doc.m_docConnectState[static_cast<size_t>(row)] = 0;
  StorePasswordLocked(state, address, password);
  *id = state->IdAt(row);
  state->Tree().AppendSingle(address, TreeIcon::kDisconnected);
  return std::nullopt;
}

}  // namespace

PjlinkAddOutcome AddPjlinkDisplay(CConsoleCore& core, const std::string& address,
                                  const std::string& password) {
  ExpectOffUiThread("adding a PJLink display");
  Outcome outcome;
  if (!IsDottedIPv4(address) || password.size() > kMaxPjlinkPasswordChars) {
    outcome.result = Outcome::Result::kBadAddress;
    return outcome;
  }
  DisplayId id = kNoDisplay;
  bool known = false;
  {
    auto state = core.Lock();
    if (state->Doc().m_docCommunicationSelect != kNetworkMode) return outcome;
    if (const auto refused = RowFor(state, address, password, &id, &known)) {
      outcome.result = *refused;
      return outcome;
    }
  }
  outcome.result = known ? Outcome::Result::kUpdated : Outcome::Result::kAdded;
  if (core.Stopping()) return outcome;
  outcome.connected = Reconnect(core, id, address);
  if (outcome.connected) GreetPjlinkDisplays(core, {id});
  std::optional<std::string> name;
  if (outcome.connected) name = ReadName(core, id);
  auto state = core.Lock();
  if (DisplayFacts* facts = state->FactsOf(id)) {
    if (name) facts->pjlink.name = *name;
    outcome.authFailed = facts->pjlink.authFailed;
    outcome.linkClass = facts->pjlink.linkClass;
    outcome.name = facts->pjlink.name;
  }
  const int row = state->RowOf(id);
  outcome.connected = row >= 0 && state->Doc().m_docConnectState[static_cast<size_t>(row)] == 1;
  return outcome;
}

bool SetPjlinkPassword(CConsoleCore& core, DisplayId id, const std::string& password) {
  ExpectOffUiThread("a PJLink password");
  if (password.size() > kMaxPjlinkPasswordChars) return false;
  std::string address;
  {
    auto state = core.Lock();
    const int row = state->RowOf(id);
    if (row < 0 || state->KindOf(id) != LinkKind::kPjlink) return false;
    address = state->AddressOf(id);
    StorePasswordLocked(state, address, password);
    if (DisplayFacts* facts = state->FactsOf(id)) facts->pjlink.authFailed = false;
    // The session authenticated with the old password; the next one uses the new.
    state->Link().CloseLink(row);
    state->Doc().m_docConnectState[static_cast<size_t>(row)] = 0;
  }
  if (core.Stopping() || !IsDottedIPv4(address)) return true;
  if (Reconnect(core, id, address)) GreetPjlinkDisplays(core, {id});
  return true;
}

}  // namespace tarnex
