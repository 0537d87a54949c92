#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "links/link_state.h"
#include "links/search_reply.h"
#include "platform/datagram_api.h"

namespace tarnex {

inline constexpr std::string_view kSearchDatagram = "SEARCHQXMNT";

struct SearchOptions {
  // Where the search datagram goes: TARNEX_BROADCAST_ADDR, else 255.255.255.255.
  std::string broadcastAddress = DefaultBroadcastAddress();
  uint16_t port = kDisplayPort;
  // The search ends once nobody answered for this long, or after `limit` in all.
  std::chrono::milliseconds quietPeriod{1500};
  std::chrono::milliseconds limit{10000};
  // Ends the search at once when readable (the console's close).
  int cancelFd = kNoSocket;

  static std::string DefaultBroadcastAddress();
};

struct SearchOutcome {
  // Every valid reply once, in the order received; a display that answered twice is in it
  // once, with its first answer.
  std::vector<SearchReply> replies;
  bool broadcastRefused = false;  // SO_BROADCAST was refused; the search went on
  bool failed = false;            // no socket, or the datagram could not be sent
  bool cancelled = false;
};

// One search: the search datagram broadcast from one UDP socket, then every reply read until
// the quiet period or the limit passes. Runs on a worker; waits at most `limit`.
SearchOutcome SearchBroadcast(DatagramApi& api, const SearchOptions& options);

}  // namespace tarnex
