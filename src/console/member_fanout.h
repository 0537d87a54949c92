#pragma once

#include <functional>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "console/member_sequence.h"
#include "links/link_state.h"
#include "links/monitor_socket_table.h"
#include "links/network_exchange.h"

namespace tarnex {

// Runs the sequences of many members side by side on the calling thread. A member's channel
// is leased for that member's own exchanges only: it goes back the moment the member's
// sequence ends or the member is given up, and between two of its exchanges when another
// exchange waits for it, so the operator's read of one member waits at most for the exchange
// in flight there, never for the rest of the fleet.
//
// A display listed twice (a member added twice) is asked once per listing, but never twice at
// the same moment: each wave holds a display at most once. A display given up in one wave is
// not asked again in the next: a group that lists a silent display a thousand times costs one
// deadline, not a thousand. Power commands read nothing and so give nobody up: they keep one
// send per listing. A member whose link went since the operator acted fails at once, blaming
// nobody.
class MemberFanOut {
 public:
  MemberFanOut(MonitorSocketTable& table, SocketApi& api, std::span<const DisplayId> members,
               std::span<MemberSequence* const> sequences, int cancelFd,
               std::vector<SequenceOutcome>& outcomes);

  // Runs the listings `pending` (positions into the members); `memberDone` as each ends.
  void Run(std::vector<size_t> pending, const std::function<void()>& memberDone);
  // The link of the member at `position` was gone when its turn came.
  bool Lost(size_t position) const { return m_lost[position]; }

 private:
  struct Turn {
    size_t position;
    MonitorSocketTable::Lease lease;
  };
  struct Flights;

  // The next wave of the listings `pending`: each display at most once, in id order. A
  // listing of a display given up in an earlier wave is skipped; a display's further listings
  // wait for a later wave.
  std::vector<size_t> NextWave(std::vector<size_t>& pending, const std::function<void()>& done);
  std::vector<Turn> TakeTurns(const std::vector<size_t>& wave, std::vector<size_t>& again);
  // Runs one wave; what has to wait for a later one (its turn was taken, or it gave the turn
  // back between two exchanges) goes to `again`.
  void RunWave(const std::vector<size_t>& wave, std::vector<size_t>& again,
               const std::function<void()>& memberDone);
  std::optional<MemberQuery> FirstQuery(size_t position);
  // The member's next exchange once the last one ended, or none when it is done or parked.
  std::optional<ExchangeSpec> NextOf(Flights& flights, size_t flight, ExchangeOutcome& outcome);
  bool CancelRequested() const;

  MonitorSocketTable& m_table;
  SocketApi& m_api;
  std::span<const DisplayId> m_members;
  std::span<MemberSequence* const> m_sequences;
  int m_cancelFd;
  std::vector<SequenceOutcome>& m_outcomes;
  std::vector<bool> m_lost;
  // The query a member was about to be asked when it gave its turn back.
  std::vector<std::optional<MemberQuery>> m_parked;
  std::set<DisplayId> m_givenUp;
};

// The exchange a member query makes.
ExchangeSpec SpecOf(const MemberQuery& query);

}  // namespace tarnex
