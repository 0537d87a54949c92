#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "agent/agent_topics.h"
#include "agent/fleet_state.h"
#include "agent/mqtt_client.h"
#include "console/console_core.h"

namespace tarnex::agent {

// Keeps the broker's retained picture of the site up to date: `fleet`, each display's state
// and, on request, the discovery configs. Whatever changes (a pass, a command, a link going)
// only wakes it; it then compares what is with what it last sent and sends the differences,
// at most one state per display per second, a batch at a time under the client's in-flight
// limit, so nothing queues without bound while the broker is slow or away. After every
// (re)connect it sends, in order, `agent` online, the fleet, every state and the discovery
// configs, and only then lets `subscribe` run: a command may then rely on a complete picture.
class StatePublisher {
 public:
  struct Options {
    std::string site;
    bool haDiscovery = false;
    std::chrono::milliseconds minGap{1000};
  };

  StatePublisher(CConsoleCore& core, StateBook& book, Options options);
  ~StatePublisher();
  StatePublisher(const StatePublisher&) = delete;
  StatePublisher& operator=(const StatePublisher&) = delete;

  // Before Start.
  void SetClient(mqtt::Client* client, std::function<void()> subscribe);
  void Start();
  void Stop();
  // Something may have changed; any thread.
  void Wake();
  // A new session began; the library's thread.
  void Reconnected();
  // Until every state known now has been sent (or `wait` passed); for tests and benchmarks.
  bool WaitSettled(std::chrono::milliseconds wait);

 private:
  struct Sent {
    std::string payload;
    std::chrono::steady_clock::time_point at;
  };

  void Run();
  // One round; false when the broker went meanwhile.
  bool Round(bool resync);
  // The displays the fleet did not hold before go to `joined`.
  bool SendFleet(const FleetView& fleet, std::vector<FleetView::Display>& joined);
  bool SendStates(const FleetView& fleet, const std::vector<std::string>& links, bool resync);
  bool Send(const mqtt::Publication& publication);

  CConsoleCore& m_core;
  StateBook& m_book;
  Options m_options;
  SiteTopics m_topics;
  mqtt::Client* m_client = nullptr;
  std::function<void()> m_subscribe;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_settledWake;
  bool m_dirty = true;
  bool m_resync = false;
  bool m_stop = false;
  bool m_settled = false;
  std::thread m_thread;
  // The publisher thread's own.
  std::optional<FleetView> m_fleet;
  std::map<std::string, Sent> m_sent;
  std::chrono::steady_clock::time_point m_nextDue{};
};

}  // namespace tarnex::agent
