#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "links/link_state.h"
#include "links/search_reply.h"
#include "platform/cancel_token.h"
#include "platform/datagram_api.h"

namespace tarnex {

inline constexpr std::string_view kSearchDatagram = "SEARCHQXMNT";
// The distinct replies one search keeps: as many as the display table holds, so that a host
// answering at line rate costs a bounded table, not memory without end.
inline constexpr size_t kSearchRepliesKept = 1000;

struct SearchOptions {
  // Where the search datagram goes: TARNEX_BROADCAST_ADDR, else 255.255.255.255.
  std::string broadcastAddress = DefaultBroadcastAddress();
  uint16_t port = kDisplayPort;
  // The search ends once nobody answered for this long, or after `limit` in all.
  std::chrono::milliseconds quietPeriod{1500};
  std::chrono::milliseconds limit{10000};
  // Ends the search at once when readable (the console's close).
  int cancelFd = kNoSocket;
  // The operator's cancel (the dialog's close button). Shared, as the worker still polls it
  // when the dialog that made it is gone.
  std::shared_ptr<const CancelToken> cancel;

  static std::string DefaultBroadcastAddress();
};

struct SearchOutcome {
  // Every valid reply once, in the order received, up to kSearchRepliesKept; a display that
  // answered twice is in it once, with its first answer.
  std::vector<SearchReply> replies;
  // Replies of further displays once that many were kept: counted, not kept.
  size_t dropped = 0;
  bool broadcastRefused = false;  // SO_BROADCAST was refused; the search went on
  bool failed = false;            // no socket, or the datagram could not be sent
  bool cancelled = false;
};

// One search: the search datagram broadcast from one UDP socket, then every reply read until
// the quiet period or the limit passes, however fast datagrams arrive. Runs on a worker; waits
// at most `limit`, and ends at once on a cancel.
SearchOutcome SearchBroadcast(DatagramApi& api, const SearchOptions& options);

}  // namespace tarnex
