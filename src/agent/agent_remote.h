#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "agent/agent_topics.h"
#include "agent/fleet_state.h"
#include "agent/mqtt_client.h"
#include "scripting/script_report.h"
#include "scripting/script_request.h"

namespace tarnex::agent {

// The words the window shows when a request cannot reach the agent or gets no answer.
inline constexpr const char* kAgentUnreachable = "Agent unreachable";
inline constexpr const char* kAgentSilent = "No answer from the agent";
inline constexpr const char* kAgentBusy = "Too many requests are waiting for the agent";
inline constexpr const char* kAgentGarbled = "The agent's answer could not be read";

struct RemoteOptions {
  std::string host = "127.0.0.1";
  int port = 1883;
  std::string site;
  std::string caFile;  // TLS when given, always verified
  std::string user;
  std::string password;
  // A request waits this long beyond its own time-out for the agent's answer.
  std::chrono::milliseconds replyGrace{5000};
  size_t maxPending = 256;
  // How long a command may wait at the broker for the agent before it is dropped.
  std::uint32_t commandExpirySeconds = 30;
};

// What became of one request.
struct RemoteReply {
  enum class Outcome { kAnswered, kUnreachable, kTimedOut, kRefused, kGarbled };
  Outcome outcome = Outcome::kUnreachable;
  int exit = script_exit::kInternal;  // the agent's exit code when answered
  std::vector<ScriptResult> results;
  std::string errorCode;  // the agent's run-wide error, when it gave one
  std::string message;    // why it failed, in the operator's words; empty when it did not

  bool Ok() const { return outcome == Outcome::kAnswered && exit == script_exit::kOk; }
};

// What the window knows of the agent at one moment.
struct RemoteSnapshot {
  bool connected = false;    // to the broker
  bool agentOnline = false;  // the agent's retained word is "online"
  std::optional<FleetView> fleet;
  std::map<std::string, DisplayState> states;  // by display key

  bool Reachable() const { return connected && agentOnline; }
};

// The agent's answer document (`--json` of the command line) as a reply, or none when it is
// not one. Bounded and checked.
std::optional<RemoteReply> ReplyFromJson(std::string_view text);

// The window's view of one site agent over MQTT: the retained fleet, the agent's presence and
// the display states, kept as a snapshot; and commands sent with a response topic of its own,
// each matched to its answer by a correlation of its own.
//
// Threads: Snapshot() and Send() from any thread. The listener and the reply callbacks run on
// the MQTT library's thread, on the deadline thread, or (for a request refused at once) on the
// caller's; never under the remote's lock. Each callback runs exactly once, at the latest when
// the remote stops.
class AgentRemote {
 public:
  using Listener = std::function<void()>;
  using ReplyCallback = std::function<void(RemoteReply)>;

  AgentRemote(RemoteOptions options, Listener listener);
  ~AgentRemote();
  AgentRemote(const AgentRemote&) = delete;
  AgentRemote& operator=(const AgentRemote&) = delete;

  // Starts the session; the broker may come later. False with `error` when it cannot start.
  bool Start(std::string* error);
  // Ends the session; the requests still waiting are answered "Agent unreachable".
  void Stop();

  RemoteSnapshot Snapshot() const;
  void Send(const ScriptRequest& request, ReplyCallback done);
  const std::string& ReplyTopic() const { return m_replyTopic; }
  size_t PendingCount() const;

 private:
  struct Pending {
    ReplyCallback done;
    std::chrono::steady_clock::time_point deadline;
  };
  using Completed = std::vector<std::pair<ReplyCallback, RemoteReply>>;

  // The library's thread.
  void OnConnected();
  void OnDisconnected();
  void OnMessage(const mqtt::Message& message);
  bool TakeAgentWord(std::string_view payload);
  bool TakeFleet(std::string_view payload);
  bool TakeState(std::string_view topic, std::string_view payload);
  void TakeReply(const mqtt::Message& message);

  void WatchDeadlines();
  // Every waiting request, to be answered `outcome` once the lock is let go. Lock held.
  Completed TakeAllLocked(RemoteReply::Outcome outcome, const char* message);
  static void Finish(Completed completed);
  void Notify() const;
  std::string NextCorrelation();

  RemoteOptions m_options;
  Listener m_listener;
  SiteTopics m_topics;
  std::string m_replyTopic;
  std::string m_stateTopicPrefix;
  std::unique_ptr<mqtt::Client> m_client;

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stopping = false;
  bool m_stopped = false;
  RemoteSnapshot m_snapshot;
  std::map<std::string, Pending> m_pending;  // by correlation
  std::uint64_t m_sequence = 0;
  std::string m_instance;  // unique to this window's session
  std::thread m_deadlines;
};

}  // namespace tarnex::agent
