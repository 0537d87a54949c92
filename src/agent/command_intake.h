#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "agent/agent_topics.h"
#include "agent/fleet_state.h"
#include "agent/mqtt_client.h"
#include "console/console_core.h"
#include "scripting/schedule_command.h"

namespace tarnex::agent {

// The set and command messages of one site, from arrival to answer. The library's thread only
// checks and queues (OnMessage); workers run each request as the command line's would run
// through the owner socket, its names resolved once into displays when it is accepted, and
// send one result document per request, only to a reply topic under the site's own.
//
// Sets of one display, and the commands of one reply topic, run in the order they came: they
// share a worker. A message the agent cannot take leaves an "event" saying why, and an error
// result where a reply topic is given.
class CommandIntake {
 public:
  static constexpr size_t kQueueLimit = 256;
  static constexpr size_t kWorkers = 8;
  static constexpr std::chrono::seconds kDuplicateWindow{60};

  CommandIntake(CConsoleCore& core, StateBook& book, std::string site,
                std::function<void()> changed);
  ~CommandIntake();
  CommandIntake(const CommandIntake&) = delete;
  CommandIntake& operator=(const CommandIntake&) = delete;

  // Before Start.
  void SetClient(mqtt::Client* client) { m_client = client; }
  void SetSchedules(ScheduleCommandContext schedules) { m_schedules = std::move(schedules); }
  void Start();
  // Drops what waits; the requests running end as the console's stop ends their jobs.
  void Stop();
  // The library's thread.
  void OnMessage(mqtt::Message message);
  // What a request that ran (here or through the owner socket) did is what its displays now
  // are, until the next pass says otherwise.
  void Learn(const ScriptRequest& request, const std::vector<ScriptResult>& results);
  // For tests: until nothing waits or runs, or `wait` passed.
  bool WaitIdle(std::chrono::milliseconds wait);

 private:
  struct Item {
    ScriptRequest request;
    std::optional<std::string> replyTopic;
    std::optional<std::string> correlation;
    std::optional<std::chrono::steady_clock::time_point> expires;
    std::string origin;  // the topic it came on, for events
  };

  void Work(size_t worker);
  void Run(const Item& item);
  // The error result of a message not taken, and its event.
  void Refuse(const mqtt::Message& message, bool replyable, const std::string& why,
              const std::string& code = "usage");
  void Reply(const std::optional<std::string>& topic, const std::optional<std::string>& correlation,
             const std::string& document);
  void Event(const std::string& json);
  bool Duplicate(const mqtt::Message& message);

  CConsoleCore& m_core;
  StateBook& m_book;
  SiteTopics m_topics;
  std::function<void()> m_changed;
  mqtt::Client* m_client = nullptr;
  ScheduleCommandContext m_schedules{};
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_idle;
  std::vector<std::deque<Item>> m_queues{kWorkers};
  size_t m_waiting = 0;
  size_t m_running = 0;
  bool m_stop = false;
  bool m_tracedRetainedSet = false;
  std::map<std::pair<std::string, std::string>, std::chrono::steady_clock::time_point> m_seen;
  std::vector<std::thread> m_threads;
};

}  // namespace tarnex::agent
