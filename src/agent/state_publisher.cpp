#include "agent/state_publisher.h"

#include <set>

#include "agent/ha_discovery.h"
#include "platform/trace.h"

namespace tarnex::agent {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kIdleRound = std::chrono::seconds(1);
constexpr auto kInFlightPoll = std::chrono::milliseconds(2);

mqtt::Publication Retained(std::string topic, std::string payload) {
  return {.topic = std::move(topic),
          .payload = std::move(payload),
          .qos = 1,
          .retain = true,
          .responseTopic = std::nullopt,
          .correlation = std::nullopt,
          .expirySeconds = std::nullopt};
}

}  // namespace

StatePublisher::StatePublisher(CConsoleCore& core, StateBook& book, Options options)
    : m_core(core), m_book(book), m_options(std::move(options)), m_topics(m_options.site) {}

StatePublisher::~StatePublisher() {
  Stop();
}

void StatePublisher::SetClient(mqtt::Client* client, std::function<void()> subscribe) {
  m_client = client;
  m_subscribe = std::move(subscribe);
}

void StatePublisher::Start() {
  m_thread = std::thread([this] { Run(); });
}

void StatePublisher::Stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void StatePublisher::Wake() {
  {
    std::lock_guard lock(m_mutex);
    m_dirty = true;
    m_settled = false;
  }
  m_wake.notify_all();
}

void StatePublisher::Reconnected() {
  {
    std::lock_guard lock(m_mutex);
    m_resync = true;
    m_dirty = true;
    m_settled = false;
  }
  m_wake.notify_all();
}

bool StatePublisher::WaitSettled(std::chrono::milliseconds wait) {
  std::unique_lock lock(m_mutex);
  return m_settledWake.wait_for(lock, wait, [this] { return m_settled && !m_dirty; });
}

void StatePublisher::Run() {
  std::unique_lock lock(m_mutex);
  while (!m_stop) {
    const auto idle = Clock::now() + kIdleRound;
    const auto until = m_nextDue == Clock::time_point{} ? idle : std::min(idle, m_nextDue);
    m_wake.wait_until(lock, until, [this] { return m_stop || m_dirty; });
    if (m_stop) break;
    const bool resync = m_resync;
    m_resync = false;
    m_dirty = false;
    lock.unlock();
    const bool whole = m_client != nullptr && m_client->Connected() && Round(resync);
    lock.lock();
    // A round cut short by the broker's going is done again whole at the reconnect.
    if (!whole && resync) m_resync = true;
    m_settled = whole && !m_dirty && m_nextDue == Clock::time_point{};
    if (m_settled) m_settledWake.notify_all();
  }
}

bool StatePublisher::Round(bool resync) {
  FleetView fleet;
  std::vector<std::string> links;
  {
    auto state = m_core.Lock();
    fleet = FleetOf(m_core, state);
    links = LinkWordsOf(state, fleet);
  }
  if (resync) {
    m_sent.clear();
    m_fleet.reset();
    if (!Send(Retained(m_topics.Agent(), "online"))) return false;
  }
  std::vector<FleetView::Display> joined;
  if (!SendFleet(fleet, joined) || !SendStates(fleet, links, resync)) return false;
  // A config names its display's state topic: it follows the state, so that nobody is shown
  // a display without one. After a reconnect every display has joined.
  if (m_options.haDiscovery) {
    for (const auto& display : joined) {
      for (auto& message : DiscoveryConfigs(m_topics, display)) {
        if (!Send(Retained(std::move(message.topic), std::move(message.payload)))) return false;
      }
    }
  }
  if (resync && m_subscribe) m_subscribe();
  return true;
}

// A display that left (or moved to another key) has its retained topics cleared before the
// fleet that no longer lists it, so no reader is left with a state nobody updates.
bool StatePublisher::SendFleet(const FleetView& fleet, std::vector<FleetView::Display>& joined) {
  if (m_fleet && *m_fleet == fleet) return true;
  std::set<std::string> keys;
  for (const auto& display : fleet.displays) keys.insert(display.key);
  static const std::vector<FleetView::Display> kNone;
  std::set<std::string> known;
  for (const auto& old : m_fleet ? m_fleet->displays : kNone) {
    known.insert(old.key);
    if (keys.count(old.key) > 0) continue;
    if (!Send(Retained(m_topics.State(old.key), {}))) return false;
    if (m_options.haDiscovery) {
      for (auto& message : DiscoveryClears(m_topics, old)) {
        if (!Send(Retained(std::move(message.topic), {}))) return false;
      }
    }
    m_sent.erase(old.key);
    m_book.Forget(old.key);
  }
  if (!Send(Retained(m_topics.Fleet(), FleetJson(fleet)))) return false;
  for (const auto& display : fleet.displays) {
    if (known.count(display.key) == 0) joined.push_back(display);
  }
  m_fleet = fleet;
  return true;
}

bool StatePublisher::SendStates(const FleetView& fleet, const std::vector<std::string>& links,
                                bool resync) {
  const auto now = Clock::now();
  Clock::time_point nextDue{};
  for (size_t i = 0; i < fleet.displays.size() && i < links.size(); ++i) {
    const std::string& key = fleet.displays[i].key;
    DisplayState state = m_book.Get(key);
    state.link = links[i];
    std::string payload = StateJson(state);
    const auto sent = m_sent.find(key);
    if (sent != m_sent.end() && sent->second.payload == payload) continue;
    if (!resync && sent != m_sent.end() && now - sent->second.at < m_options.minGap) {
      const auto due = sent->second.at + m_options.minGap;
      if (nextDue == Clock::time_point{} || due < nextDue) nextDue = due;
      continue;
    }
    if (!Send(Retained(m_topics.State(key), payload))) return false;
    m_sent[key] = {std::move(payload), Clock::now()};
  }
  m_nextDue = nextDue;
  return true;
}

// Waits while the client has its in-flight limit out: the library would otherwise queue
// without bound. False once the broker went or the publisher stops.
bool StatePublisher::Send(const mqtt::Publication& publication) {
  while (m_client->InFlight() >= m_client->InFlightLimit()) {
    if (!m_client->Connected()) return false;
    {
      std::lock_guard lock(m_mutex);
      if (m_stop) return false;
    }
    std::this_thread::sleep_for(kInFlightPoll);
  }
  if (m_client->Publish(publication)) return true;
  Trace("MQTT: %s not sent", publication.topic.c_str());
  return false;
}

}  // namespace tarnex::agent
