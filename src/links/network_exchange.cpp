#include "links/network_exchange.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "links/pjlink_exchange.h"
#include "platform/trace.h"
#include "platform/ui_thread.h"
#include "protocol/command_frame.h"

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;
using Step = ExchangeMachine::Step;

// Power commands are two sends and a pause; a second is far more than they ever need.
constexpr std::chrono::milliseconds kPowerDeadline{1000};

int MillisecondsUntil(Clock::time_point when, Clock::time_point now) {
  if (when <= now) return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now);
  return static_cast<int>(std::min<long long>(left.count(), 1'000'000));
}

void DiscardAndSend(SocketApi& api, int fd, const std::string& command) {
  // Whatever is queued now answers an earlier command (a power command's two replies, a late
  // reply, a reply sent twice); read after this send, it would pass for this command's reply.
  api.Discard(fd, kDiscardLimit);
  api.Send(fd, command.data(), command.size());
}

Step ReceiveInto(SocketApi& api, int fd, ExchangeMachine& machine) {
  char chunk[kReceiveChunk];
  const ssize_t n = api.Recv(fd, chunk, std::min(machine.Room(), sizeof chunk));
  if (n <= 0) return machine.ReceiveFailed(n == 0 ? 0 : api.LastError());
  return machine.Received(std::string_view(chunk, static_cast<size_t>(n)));
}

}  // namespace

std::chrono::milliseconds ExchangeDeadline(const ExchangeSpec& spec, int receiveTimeoutMs) {
  if (spec.power) return kPowerDeadline;
  const auto perReceive = std::chrono::milliseconds(receiveTimeoutMs) + kReceivePacing;
  return std::max(1, spec.maxFailedReceives) * perReceive + kReceivePacing;
}

// ---- The steps of one exchange ----

ExchangeMachine::ExchangeMachine(ExchangeSpec spec) : m_spec(std::move(spec)) {}

ExchangeMachine::Step ExchangeMachine::Start() {
  m_state = State::kSending;
  return Step::kSend;
}

ExchangeMachine::Step ExchangeMachine::Sent() {
  ++m_sends;
  if (m_spec.power) {
    if (m_sends < 2) return PauseThen(kPowerResendPause, AfterPause::kSend);
    return Finish(true);
  }
  if (m_sends > 1) Trace("%d send()", m_outcome.failedReceives);
  return PauseThen(kReceivePacing, AfterPause::kReceive);
}

ExchangeMachine::Step ExchangeMachine::Paused() {
  switch (m_afterPause) {
    case AfterPause::kSend:
      m_state = State::kSending;
      return Step::kSend;
    case AfterPause::kFinish:
      return Finish(true);
    case AfterPause::kReceive:
      break;
  }
  if (Room() == 0) return ReceiveFailed(EMSGSIZE);
  m_state = State::kReceiving;
  return Step::kReceive;
}

size_t ExchangeMachine::Room() const {
  return kReplyBufferSize - 1 - std::min(m_buffer.size(), kReplyBufferSize - 1);
}

ExchangeMachine::Step ExchangeMachine::Received(std::string_view bytes) {
  m_buffer.append(bytes.substr(0, Room()));
  Trace("%s", m_buffer.c_str());
  while (const size_t stale = protocol::StaleReplyLength(m_buffer, m_spec.command)) {
    Trace("late reply to another command dropped");
    m_buffer.erase(0, stale);
  }
  if (protocol::IsReplyComplete(m_buffer)) return PauseThen(kReceivePacing, AfterPause::kFinish);
  return PauseThen(kReceivePacing, AfterPause::kReceive);
}

ExchangeMachine::Step ExchangeMachine::ReceiveFailed(int error) {
  Trace("SOCKET_ERROR %d", error);
  ++m_outcome.failedReceives;
  Trace("recvCnt : %d", m_outcome.failedReceives);
  if (m_outcome.failedReceives >= m_spec.maxFailedReceives) return Finish(false);
  if (!m_spec.resend) return PauseThen(kReceivePacing, AfterPause::kReceive);
  m_buffer.clear();
  m_state = State::kSending;
  return Step::kSend;
}

ExchangeMachine::Step ExchangeMachine::DeadlinePassed() {
  Trace("no whole reply before the exchange's deadline");
  m_outcome.failedReceives = std::max(m_outcome.failedReceives, m_spec.maxFailedReceives);
  return Finish(false);
}

ExchangeMachine::Step ExchangeMachine::Cancelled() {
  m_outcome.cancelled = true;
  return Finish(false);
}

ExchangeMachine::Step ExchangeMachine::PauseThen(std::chrono::milliseconds pause, AfterPause next) {
  m_state = State::kPausing;
  m_pause = pause;
  m_afterPause = next;
  return Step::kPause;
}

ExchangeMachine::Step ExchangeMachine::Finish(bool complete) {
  m_state = State::kDone;
  m_outcome.complete = complete;
  if (complete) m_outcome.reply = std::move(m_buffer);
  m_buffer.clear();
  return Step::kDone;
}

// ---- One display, on the calling thread ----

ExchangeOutcome ExchangeWithDisplay(SocketApi& api, int fd, const ExchangeSpec& spec,
                                    const Sleeper& sleep, int cancelFd) {
  ExpectOffUiThread("a display exchange");
  ExchangeMachine machine(spec);
  const int receiveTimeout = api.ReceiveTimeoutMs(fd);
  const Clock::time_point deadline = Clock::now() + ExchangeDeadline(spec, receiveTimeout);
  Step step = machine.Start();
  while (step != Step::kDone) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      step = machine.DeadlinePassed();
      break;
    }
    switch (step) {
      case Step::kSend:
        DiscardAndSend(api, fd, machine.Command());
        step = machine.Sent();
        break;
      case Step::kPause:
        sleep(machine.Pause());
        step = machine.Paused();
        break;
      case Step::kReceive:
        switch (api.WaitReadable(fd, cancelFd,
                                 std::min(receiveTimeout, MillisecondsUntil(deadline, now)))) {
          case WaitOutcome::kCancelled:
            step = machine.Cancelled();
            break;
          case WaitOutcome::kTimedOut:
            step =
                Clock::now() >= deadline ? machine.DeadlinePassed() : machine.ReceiveFailed(EAGAIN);
            break;
          case WaitOutcome::kFailed:
            step = machine.ReceiveFailed(api.LastError());
            break;
          case WaitOutcome::kReadable:
            step = ReceiveInto(api, fd, machine);
            break;
        }
        break;
      case Step::kDone:
        break;
    }
  }
  return std::move(machine.Outcome());
}

ExchangeOutcome ExchangeWithDisplay(SocketApi& api, LinkSocket& link, const ExchangeSpec& spec,
                                    const Sleeper& sleep, int cancelFd) {
  if (!link.Pjlink()) return ExchangeWithDisplay(api, link.fd, spec, sleep, cancelFd);
  LinkSocket* links[] = {&link};
  return std::move(ExchangeWithDisplays(api, links, std::span(&spec, 1), cancelFd, {}).front());
}

ExchangeOutcome ExchangeWithDisplay(SocketApi& api, int fd, std::string_view command,
                                    int maxFailedReceives, bool resend, const Sleeper& sleep,
                                    int cancelFd) {
  const ExchangeSpec spec{
      .command = std::string(command), .maxFailedReceives = maxFailedReceives, .resend = resend};
  return ExchangeWithDisplay(api, fd, spec, sleep, cancelFd);
}

// ---- Many displays at once ----

namespace {

struct Flight {
  LinkSocket* link;
  ExchangeMachine machine;
  std::optional<PjlinkExchange> pjlink;  // a PJLink link's exchange, in place of the machine
  Step step = Step::kDone;
  int receiveTimeout = kDefaultReceiveTimeoutMs;
  Clock::time_point wakeAt{};
  Clock::time_point receiveUntil{};
  Clock::time_point deadline{};

  int Fd() const { return link->fd; }
  ExchangeOutcome& Outcome() { return pjlink ? pjlink->Outcome() : machine.Outcome(); }
};

std::chrono::milliseconds DeadlineOf(const Flight& flight, const ExchangeSpec& spec) {
  return flight.link->Pjlink() ? PjlinkExchange::Deadline(flight.receiveTimeout)
                               : ExchangeDeadline(spec, flight.receiveTimeout);
}

// The flight's exchange `spec` begins, with a deadline of its own.
void Begin(SocketApi& api, Flight& flight, ExchangeSpec spec, Clock::time_point now) {
  flight.deadline = now + DeadlineOf(flight, spec);
  if (flight.link->Pjlink()) {
    flight.pjlink.emplace(api, *flight.link, std::move(spec), flight.receiveTimeout);
    flight.pjlink->Start(now);
    flight.step = flight.pjlink->Done() ? Step::kDone : Step::kReceive;
  } else {
    flight.machine = ExchangeMachine(std::move(spec));
    flight.step = flight.machine.Start();
  }
}

// The display's next exchange, if its sequence goes on.
bool StartNext(SocketApi& api, Flight& flight, size_t position, const NextExchange& next,
               Clock::time_point now) {
  if (!next || flight.Outcome().cancelled) return false;
  std::optional<ExchangeSpec> spec = next(position, flight.Outcome());
  if (!spec) return false;
  Begin(api, flight, std::move(*spec), now);
  return true;
}

// Carries out the steps that need no waiting, up to the next pause or receive.
void Advance(SocketApi& api, Flight& flight, Step step, size_t position,
             const std::function<void(size_t)>& finished, const NextExchange& next) {
  const Clock::time_point now = Clock::now();
  while (true) {
    while (step == Step::kSend) {
      DiscardAndSend(api, flight.Fd(), flight.machine.Command());
      step = flight.machine.Sent();
    }
    if (step != Step::kDone || !StartNext(api, flight, position, next, now)) break;
    step = flight.step;
  }
  flight.step = step;
  if (step == Step::kPause) flight.wakeAt = now + flight.machine.Pause();
  if (step == Step::kReceive && !flight.pjlink)
    flight.receiveUntil = now + std::chrono::milliseconds(flight.receiveTimeout);
  if (step == Step::kDone && finished) finished(position);
}

// A PJLink flight's exchange moved on; the step the loop sees for it.
Step PjlinkStep(const Flight& flight) {
  return flight.pjlink->Done() ? Step::kDone : Step::kReceive;
}

// The step a flight takes because its time came, if any.
bool TimeIsUp(Flight& flight, Clock::time_point now, Step* next) {
  if (flight.pjlink) {
    if (now >= flight.deadline) {
      flight.pjlink->DeadlinePassed();
    } else if (now >= flight.pjlink->Waiting().until) {
      flight.pjlink->Ready(0, now);
    } else {
      return false;
    }
    *next = PjlinkStep(flight);
    return true;
  }
  if (now >= flight.deadline) {
    *next = flight.machine.DeadlinePassed();
  } else if (flight.step == Step::kPause && now >= flight.wakeAt) {
    *next = flight.machine.Paused();
  } else if (flight.step == Step::kReceive && now >= flight.receiveUntil) {
    *next = flight.machine.ReceiveFailed(EAGAIN);
  } else {
    return false;
  }
  return true;
}

Clock::time_point NextTimer(const Flight& flight) {
  Clock::time_point next = flight.deadline;
  if (flight.pjlink) return std::min(next, flight.pjlink->Waiting().until);
  if (flight.step == Step::kPause) next = std::min(next, flight.wakeAt);
  if (flight.step == Step::kReceive) next = std::min(next, flight.receiveUntil);
  return next;
}

pollfd PolledOf(const Flight& flight) {
  if (flight.pjlink) {
    const PjlinkExchange::Wait& wait = flight.pjlink->Waiting();
    return {wait.fd, wait.events, 0};
  }
  return {flight.Fd(), POLLIN, 0};
}

Step Cancelled(Flight& flight) {
  if (!flight.pjlink) return flight.machine.Cancelled();
  flight.pjlink->Cancel();
  return Step::kDone;
}

Step Readable(SocketApi& api, Flight& flight, short revents) {
  if (!flight.pjlink) return ReceiveInto(api, flight.Fd(), flight.machine);
  flight.pjlink->Ready(revents, Clock::now());
  return PjlinkStep(flight);
}

}  // namespace

std::vector<ExchangeOutcome> ExchangeWithDisplays(SocketApi& api,
                                                  std::span<LinkSocket* const> links,
                                                  std::span<const ExchangeSpec> specs, int cancelFd,
                                                  const std::function<void(size_t)>& finished,
                                                  const NextExchange& next) {
  ExpectOffUiThread("a group exchange");
  const size_t count = std::min(links.size(), specs.size());
  std::vector<Flight> flights;
  flights.reserve(count);
  const Clock::time_point started = Clock::now();
  for (size_t i = 0; i < count; ++i) {
    Flight flight{links[i], ExchangeMachine(specs[i]), std::nullopt};
    flight.receiveTimeout =
        links[i]->Pjlink() ? links[i]->pjlink.receiveTimeoutMs : api.ReceiveTimeoutMs(links[i]->fd);
    flights.push_back(std::move(flight));
  }
  for (size_t i = 0; i < count; ++i) {
    Begin(api, flights[i], specs[i], started);
    Advance(api, flights[i], flights[i].step, i, finished, next);
  }

  std::vector<pollfd> polled;
  std::vector<size_t> polledFlight;
  while (true) {
    const Clock::time_point now = Clock::now();
    Clock::time_point wake = Clock::time_point::max();
    polled.clear();
    polledFlight.clear();
    for (size_t i = 0; i < count; ++i) {
      Flight& flight = flights[i];
      Step step;
      if (flight.step != Step::kDone && TimeIsUp(flight, now, &step)) {
        Advance(api, flight, step, i, finished, next);
      }
      if (flight.step == Step::kDone) continue;
      wake = std::min(wake, NextTimer(flight));
      if (flight.step == Step::kReceive) {
        polled.push_back(PolledOf(flight));
        polledFlight.push_back(i);
      }
    }
    if (wake == Clock::time_point::max()) break;  // every exchange is over
    polled.push_back({cancelFd, POLLIN, 0});
    const int ready = ::poll(polled.data(), polled.size(), MillisecondsUntil(wake, Clock::now()));
    if (ready <= 0) continue;  // a timer is due, or a signal interrupted the wait
    if (polled.back().revents != 0) {
      for (size_t i = 0; i < count; ++i) {
        if (flights[i].step != Step::kDone)
          Advance(api, flights[i], Cancelled(flights[i]), i, finished, next);
      }
      break;
    }
    for (size_t p = 0; p + 1 < polled.size(); ++p) {
      if (polled[p].revents == 0) continue;
      Flight& flight = flights[polledFlight[p]];
      Advance(api, flight, Readable(api, flight, polled[p].revents), polledFlight[p], finished,
              next);
    }
  }
  std::vector<ExchangeOutcome> outcomes;
  outcomes.reserve(count);
  for (Flight& flight : flights) outcomes.push_back(std::move(flight.Outcome()));
  return outcomes;
}

std::vector<ExchangeOutcome> ExchangeWithDisplays(SocketApi& api, std::span<const int> sockets,
                                                  std::span<const ExchangeSpec> specs, int cancelFd,
                                                  const std::function<void(size_t)>& finished,
                                                  const NextExchange& next) {
  std::vector<LinkSocket> links(sockets.size());
  std::vector<LinkSocket*> pointers;
  for (size_t i = 0; i < sockets.size(); ++i) {
    links[i].fd = sockets[i];
    pointers.push_back(&links[i]);
  }
  return ExchangeWithDisplays(api, pointers, specs, cancelFd, finished, next);
}

}  // namespace tarnex
