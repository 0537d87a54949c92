#include "console/member_fanout.h"

#include <poll.h>

#include <algorithm>
#include <utility>

namespace tarnex {
namespace {

constexpr int kNetworkFailedReceives = 3;

}  // namespace

ExchangeSpec SpecOf(const MemberQuery& query) {
  if (query.power) return {.command = query.command, .power = true};
  if (query.once) return {.command = query.command, .maxFailedReceives = 1, .resend = false};
  return {.command = query.command, .maxFailedReceives = kNetworkFailedReceives};
}

namespace {

// Which PJLink answer of a member's sequence stands for the whole sequence: a refused password
// above a refusal, a refusal above an answer, an answer above a command not sent.
int Weight(LinkAnswer answer) {
  switch (answer) {
    case LinkAnswer::kNone:
      return 0;
    case LinkAnswer::kNotSent:
      return 1;
    case LinkAnswer::kAnswered:
      return 2;
    case LinkAnswer::kUndefined:
    case LinkAnswer::kOutOfRange:
    case LinkAnswer::kBusy:
    case LinkAnswer::kFailure:
      return 3;
    case LinkAnswer::kAuthFailed:
      break;
  }
  return 4;
}

}  // namespace

// The exchanges of one wave, one flight per member that had something to ask.
struct MemberFanOut::Flights {
  std::vector<Turn> turns;
  std::vector<LinkSocket*> links;
  std::vector<ExchangeSpec> specs;
  std::vector<MemberQuery> queries;  // what each flight asks now
};

MemberFanOut::MemberFanOut(MonitorSocketTable& table, SocketApi& api,
                           std::span<const DisplayId> members,
                           std::span<MemberSequence* const> sequences, int cancelFd,
                           std::vector<SequenceOutcome>& outcomes)
    : m_table(table),
      m_api(api),
      m_members(members),
      m_sequences(sequences),
      m_cancelFd(cancelFd),
      m_outcomes(outcomes),
      m_lost(outcomes.size(), false),
      m_parked(outcomes.size()) {}

bool MemberFanOut::CancelRequested() const {
  if (m_cancelFd == kNoSocket) return false;
  pollfd entry{m_cancelFd, POLLIN, 0};
  return ::poll(&entry, 1, 0) > 0;
}

void MemberFanOut::Run(std::vector<size_t> pending, const std::function<void()>& memberDone) {
  while (!pending.empty()) {
    // Nothing more is sent once the console closes or the read went stale.
    if (CancelRequested()) {
      for (size_t position : pending) m_outcomes[position].cancelled = true;
      return;
    }
    const std::vector<size_t> wave = NextWave(pending, memberDone);
    if (wave.empty()) return;
    std::vector<size_t> again;
    RunWave(wave, again, memberDone);
    for (size_t position : wave) {
      if (m_outcomes[position].givenUp) m_givenUp.insert(m_members[position]);
    }
    // Ahead of the later listings of the same displays, so each display keeps its order.
    pending.insert(pending.begin(), again.begin(), again.end());
  }
}

std::vector<size_t> MemberFanOut::NextWave(std::vector<size_t>& pending,
                                           const std::function<void()>& done) {
  std::vector<size_t> wave;
  std::vector<size_t> later;
  std::set<DisplayId> inWave;
  for (size_t position : pending) {
    if (m_givenUp.count(m_members[position]) != 0) {
      m_outcomes[position].skipped = true;
      done();
      continue;
    }
    (inWave.insert(m_members[position]).second ? wave : later).push_back(position);
  }
  pending = std::move(later);
  std::sort(wave.begin(), wave.end(),
            [&](size_t a, size_t b) { return m_members[a] < m_members[b]; });
  return wave;
}

// The turns free now; a display whose turn another exchange holds waits for a later wave, so
// one busy display never holds up the rest. When every turn is taken, the first is waited for,
// holding no other, so two runs side by side cannot wait for each other in a circle.
std::vector<MemberFanOut::Turn> MemberFanOut::TakeTurns(const std::vector<size_t>& wave,
                                                        std::vector<size_t>& again) {
  std::vector<Turn> turns;
  std::vector<size_t> busy;
  for (size_t position : wave) {
    MonitorSocketTable::Lease lease = m_table.TryAcquire(m_members[position]);
    if (lease.Held()) {
      turns.push_back({position, std::move(lease)});
    } else {
      busy.push_back(position);
    }
  }
  if (turns.empty() && !busy.empty()) {
    turns.push_back({busy.front(), m_table.Acquire(m_members[busy.front()])});
    busy.erase(busy.begin());
  }
  again.insert(again.end(), busy.begin(), busy.end());
  return turns;
}

std::optional<MemberQuery> MemberFanOut::FirstQuery(size_t position) {
  if (m_parked[position]) return std::exchange(m_parked[position], std::nullopt);
  return m_sequences[position]->Start();
}

void MemberFanOut::RunWave(const std::vector<size_t>& wave, std::vector<size_t>& again,
                           const std::function<void()>& memberDone) {
  Flights flights;
  for (Turn& turn : TakeTurns(wave, again)) {
    const size_t position = turn.position;
    // The link went since the run began: lost already, and a wait could only end the same.
    if (!turn.lease.Linked()) {
      m_lost[position] = true;
      m_outcomes[position].up = false;
    }
    std::optional<MemberQuery> query = m_lost[position] ? std::nullopt : FirstQuery(position);
    if (!query) {
      memberDone();
      continue;
    }
    flights.links.push_back(turn.lease.Link());
    flights.specs.push_back(SpecOf(*query));
    flights.queries.push_back(std::move(*query));
    flights.turns.push_back(std::move(turn));
  }
  const std::vector<ExchangeOutcome> results = ExchangeWithDisplays(
      m_api, flights.links, flights.specs, m_cancelFd,
      [&](size_t flight) {
        Turn& turn = flights.turns[flight];
        turn.lease = MonitorSocketTable::Lease();  // done with this display: its turn goes back
        if (m_parked[turn.position]) {
          again.push_back(turn.position);
        } else {
          memberDone();
        }
      },
      [&](size_t flight, ExchangeOutcome& outcome) { return NextOf(flights, flight, outcome); });
  for (size_t flight = 0; flight < results.size(); ++flight) {
    if (results[flight].cancelled) m_outcomes[flights.turns[flight].position].cancelled = true;
  }
}

std::optional<ExchangeSpec> MemberFanOut::NextOf(Flights& flights, size_t flight,
                                                 ExchangeOutcome& outcome) {
  const size_t position = flights.turns[flight].position;
  const MemberQuery& asked = flights.queries[flight];
  SequenceOutcome& member = m_outcomes[position];
  if (Weight(outcome.answer) >= Weight(member.answer) && outcome.answer != LinkAnswer::kNone) {
    member.answer = outcome.answer;
    member.asked = outcome.asked;
  }
  if (outcome.answer == LinkAnswer::kAuthFailed) return std::nullopt;
  // A PJLink display reads the answer to its power commands, so its silence counts.
  const bool unread = asked.power && !flights.links[flight]->Pjlink();
  if (!outcome.complete && !Present(outcome.answer) && !asked.once && !unread) {
    member.givenUp = true;
    return std::nullopt;
  }
  std::optional<std::string> reply;
  if (outcome.complete) reply = std::move(outcome.reply);
  std::optional<MemberQuery> query = m_sequences[position]->Next(std::move(reply));
  if (!query) return std::nullopt;
  // Someone waits for this display: it gets the turn now, the rest of this member's sequence
  // comes in a later wave.
  if (flights.turns[flight].lease.Wanted()) {
    m_parked[position] = std::move(query);
    return std::nullopt;
  }
  flights.queries[flight] = std::move(*query);
  return SpecOf(flights.queries[flight]);
}

}  // namespace tarnex
