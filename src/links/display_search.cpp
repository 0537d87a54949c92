#include "links/display_search.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <set>

#include "platform/trace.h"

namespace tarnex {
namespace {

// A reply is examined up to 80 bytes; reading a little more tells a long datagram from one
// that fits, and a datagram is never larger than this on the wire.
constexpr size_t kReceiveCapacity = 1024;

// A reply for the trace: printable, and short.
std::string Shown(const std::string& datagram) {
  std::string shown;
  for (const char c : datagram.substr(0, kSearchReplyExamined)) {
    shown += c >= ' ' && c < 0x7f ? c : '.';
  }
  return shown;
}

// Keeps a valid reply of a display not heard before while the table has room; counts the
// others that are new.
void Take(const std::string& datagram, const SearchOptions& options, std::set<std::string>& heard,
          SearchOutcome& outcome) {
  std::optional<SearchReply> reply = ParseSearchReply(datagram);
  if (!reply || reply->address == options.broadcastAddress) {
    Trace("search: ignored \"%s\"", Shown(datagram).c_str());
    return;
  }
  if (heard.contains(reply->displayMac)) return;
  if (outcome.replies.size() >= kSearchRepliesKept) {
    ++outcome.dropped;
    return;
  }
  heard.insert(reply->displayMac);
  outcome.replies.push_back(std::move(*reply));
}

}  // namespace

std::string SearchOptions::DefaultBroadcastAddress() {
  const char* address = std::getenv("TARNEX_BROADCAST_ADDR");
  return address != nullptr && *address != '\0' ? address : "255.255.255.255";
}

SearchOutcome SearchBroadcast(DatagramApi& api, const SearchOptions& options) {
  using SearchClock = std::chrono::steady_clock;
  SearchOutcome outcome;
  const DatagramApi::Opened socket = api.OpenBroadcast();
  if (socket.fd == kNoSocket) {
    Trace("search: no UDP socket");
    outcome.failed = true;
    return outcome;
  }
  outcome.broadcastRefused = socket.broadcastRefused;
  if (!api.SendTo(socket.fd, options.broadcastAddress, options.port, kSearchDatagram)) {
    Trace("search: the datagram could not be sent to %s", options.broadcastAddress.c_str());
    outcome.failed = true;
    api.Close(socket.fd);
    return outcome;
  }
  const SearchClock::time_point end = SearchClock::now() + options.limit;
  SearchClock::time_point quietEnd = SearchClock::now() + options.quietPeriod;
  const std::array<int, 2> cancelFds = {options.cancelFd,
                                        options.cancel ? options.cancel->Fd() : kNoSocket};
  std::set<std::string> heard;  // display MACs already taken in this search
  std::string datagram;
  for (;;) {
    const SearchClock::time_point now = SearchClock::now();
    const SearchClock::time_point until = std::min(end, quietEnd);
    if (now >= until) break;
    const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    const DatagramApi::Wait wait =
        api.Receive(socket.fd, cancelFds, static_cast<int>(waitMs), kReceiveCapacity, &datagram);
    if (wait == DatagramApi::Wait::kCancelled) {
      outcome.cancelled = true;
      break;
    }
    if (wait == DatagramApi::Wait::kFailed) {
      Trace("search: receive failed");
      break;
    }
    if (wait != DatagramApi::Wait::kDatagram) continue;
    quietEnd = SearchClock::now() + options.quietPeriod;
    Take(datagram, options, heard, outcome);
  }
  api.Close(socket.fd);
  return outcome;
}

}  // namespace tarnex
