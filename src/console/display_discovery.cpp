#include "console/display_discovery.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "platform/trace.h"
#include "platform/ui_thread.h"

namespace tarnex {
namespace {

static_assert(static_cast<int>(kSearchRepliesKept) == kMaxDisplays,
              "a search keeps what the table can hold");

int Count(const COsprelNetworkManagerDoc& doc) {
  return std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
}

// An entry without a MAC is never known by its MAC: it is found by its address instead.
int RowByMac(const COsprelNetworkManagerDoc& doc, const std::string& displayMac) {
  if (displayMac.empty()) return -1;
  for (int row = 0; row < Count(doc); ++row) {
    if (doc.m_docDisplays[static_cast<size_t>(row)].m_displayMac == displayMac) return row;
  }
  return -1;
}

int RowByAddress(const COsprelNetworkManagerDoc& doc, const std::string& address) {
  for (int row = 0; row < Count(doc); ++row) {
    if (doc.m_docDisplays[static_cast<size_t>(row)].m_address == address) return row;
  }
  return -1;
}

// The reply's text is not the display's IP mode: what the stored file holds for that stays.
void StoreReply(DisplayRecord& record, const SearchReply& reply) {
  record.m_compactMac = reply.compactMac;
  record.m_displayMac = reply.displayMac;
  record.m_ipAddress = reply.ipAddress;
  record.m_subnetMask = reply.subnetMask;
  record.m_gateway = reply.gateway;
  record.m_primaryDns = reply.primaryDns;
  record.m_secondaryDns = reply.secondaryDns;
}

}  // namespace

// One reply, and where its connect is: an index into the addresses connected, or none.
struct CDisplayDiscovery::Step {
  const SearchReply* reply;
  std::optional<size_t> connect;
};

// What a search heard and what it means to connect.
struct CDisplayDiscovery::Found {
  SearchOutcome outcome;
  std::vector<Step> steps;             // point into the outcome's replies
  std::vector<std::string> addresses;  // to connect
  std::vector<std::string> loading;    // new displays among them
  std::vector<DisplayId> touched;      // known displays whose links the connects replace
  bool full = false;
};

CDisplayDiscovery::CDisplayDiscovery(CConsoleCore& core, DatagramApi& datagrams)
    : m_core(core), m_datagrams(datagrams) {}

void CDisplayDiscovery::Start(SearchOptions options, Hooks hooks) {
  // The jobs name the core and the sockets, not this object: the dialog that made it may go
  // while the search runs.
  m_core.Jobs().Post(
      JobKeys::Search(), [&core = m_core, &datagrams = m_datagrams, options = std::move(options),
                          hooks = std::move(hooks)]() mutable {
        auto found = std::make_shared<Found>(CDisplayDiscovery(core, datagrams).Listen(options));
        // The settling keeps the search key, so a second search waits until this one is recorded.
        JobKeys keys = JobKeys::Displays(found->touched);
        keys.search = true;
        core.Jobs().Post(std::move(keys), [&core, &datagrams, found, hooks = std::move(hooks)] {
          CDisplayDiscovery(core, datagrams).Settle(*found, hooks);
        });
      });
}

void CDisplayDiscovery::Run(const SearchOptions& options, const Hooks& hooks) {
  Settle(Listen(options), hooks);
}

CDisplayDiscovery::Found CDisplayDiscovery::Listen(const SearchOptions& options) {
  ExpectOffUiThread("a display search");
  SearchOptions search = options;
  if (search.cancelFd == kNoSocket) search.cancelFd = m_core.StopFd();
  Found found;
  found.outcome = SearchBroadcast(m_datagrams, search);
  if (found.outcome.broadcastRefused) m_core.Ui().ShowMessage("setsockopt() error");
  if (found.outcome.cancelled) return found;
  found.full = found.outcome.dropped > 0;
  auto state = m_core.Lock();
  const COsprelNetworkManagerDoc& doc = state->Doc();
  int free = kMaxDisplays - Count(doc);
  std::map<std::string, size_t> planned;  // address -> its connect
  for (const SearchReply& reply : found.outcome.replies) {
    // Nothing found by row is kept from one reply to the next, and the settling looks every
    // reply up again, so others may have their turn between two.
    state->LetOthersIn();
    Step step{.reply = &reply, .connect = std::nullopt};
    int row = RowByMac(doc, reply.displayMac);
    if (row < 0) row = RowByAddress(doc, reply.address);
    // A display that answers at its own address keeps its link, and so does one whose
    // link at its old address is up: that answer is another device with the same MAC.
    const bool live = row >= 0 && doc.m_docConnectState[static_cast<size_t>(row)] == 1;
    const bool isNew = row < 0 && !planned.contains(reply.address);
    if (isNew && free == 0) {
      found.full = true;
    } else if (!live) {
      if (isNew) {
        --free;
        found.loading.push_back(reply.address);
      }
      if (row >= 0) found.touched.push_back(state->IdAt(row));
      const auto [at, first] = planned.emplace(reply.address, found.addresses.size());
      if (first) {
        found.addresses.push_back(reply.address);
        step.connect = at->second;
      }
    }
    found.steps.push_back(step);
  }
  return found;
}

// The connects are made all at once, without the lock, so a thousand displays that answered
// cost one connect time-out; the results are recorded in reply order under one lock, so the
// table and the tree end as handling the replies one after another would leave them.
void CDisplayDiscovery::Settle(const Found& found, const Hooks& hooks) {
  if (hooks.loading) {
    for (const std::string& address : found.loading) hooks.loading(address);
  }
  CNetworkLink& link = m_core.Link();
  std::vector<Connection> connections;
  if (!found.addresses.empty()) {
    connections = ConnectAll(link.Api(), found.addresses, link.Options(1, m_core.StopFd()));
  }
  bool full = found.full;
  if (m_core.Stopping()) {
    for (const Connection& connection : connections) {
      if (connection.fd != kNoSocket) link.Api().Close(connection.fd);
    }
  } else if (!found.steps.empty()) {
    auto state = m_core.Lock();
    for (const Step& step : found.steps) {
      state->LetOthersIn();
      const Connection* connection = step.connect ? &connections[*step.connect] : nullptr;
      if (HandleSearchReply(state, *step.reply, connection) == Handled::kFull) full = true;
    }
    state->Tree().PropagateIcons();
  }
  if (full && !m_core.Stopping()) m_core.Ui().ShowMessage(kListFull);
  if (hooks.completed) hooks.completed();
}

CDisplayDiscovery::Handled CDisplayDiscovery::HandleSearchReply(const CConsoleCore::State& state,
                                                                const SearchReply& reply,
                                                                const Connection* connection) {
  COsprelNetworkManagerDoc& doc = state->Doc();
  CNetworkLink& link = state->Link();
  auto drop = [&] {
    if (connection != nullptr && connection->fd != kNoSocket) link.Api().Close(connection->fd);
  };
  const int known = RowByMac(doc, reply.displayMac);
  if (known >= 0) {
    DisplayRecord& record = doc.m_docDisplays[static_cast<size_t>(known)];
    if (record.m_address == reply.address) {
      StoreReply(record, reply);
      if (connection == nullptr) return Handled::kOther;
      // A link that came up meanwhile is kept, as one that was up would have been.
      if (doc.m_docConnectState[static_cast<size_t>(known)] == 1) {
        drop();
        return Handled::kOther;
      }
      const int connected = link.AdoptConnection(known, reply.address, *connection);
      state->Tree().SetSingleIconsByKey(
          reply.address, connected == 1 ? TreeIcon::kConnected : TreeIcon::kDisconnected);
      return Handled::kOther;
    }
    // Moved: only a display that answers at its new address goes there; otherwise it stays
    // down at the old one, and the next search tries again. An address another entry holds
    // is left to that entry, and a link still up at the old address is not given up.
    const bool connected =
        connection != nullptr && connection->result == Connection::Result::kConnected;
    if (!connected || RowByAddress(doc, reply.address) >= 0 ||
        doc.m_docConnectState[static_cast<size_t>(known)] == 1) {
      Trace("search: %s stays at %s, not moved to %s", reply.displayMac.c_str(),
            record.m_address.c_str(), reply.address.c_str());
      drop();
      return Handled::kOther;
    }
    const std::string old = record.m_address;
    link.CloseLink(known);
    StoreReply(record, reply);
    link.AdoptConnection(known, reply.address, *connection);
    state->Tree().RekeyItems(old, reply.address);
    for (int g = 0; g < std::clamp(doc.m_docGroupNumCount, 0, kMaxGroups); ++g) {
      for (std::string& member : doc.m_docGroups[static_cast<size_t>(g)].m_addresses) {
        if (member == old) member = reply.address;
      }
    }
    state->Tree().SetSingleIconsByKey(reply.address, TreeIcon::kConnected);
    return Handled::kOther;
  }
  if (connection == nullptr) {
    const int holder = RowByAddress(doc, reply.address);
    if (holder < 0) return Handled::kFull;
    StoreReply(doc.m_docDisplays[static_cast<size_t>(holder)], reply);
    return Handled::kOther;
  }
  const int before = Count(doc);
  if (m_core.AddConnectedMonitor(state, reply.address, *connection) < 0) return Handled::kFull;
  const int row = RowByAddress(doc, reply.address);
  if (row >= 0) StoreReply(doc.m_docDisplays[static_cast<size_t>(row)], reply);
  return Count(doc) > before ? Handled::kAdded : Handled::kOther;
}

}  // namespace tarnex
