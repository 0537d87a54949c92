#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "agent/agent_topics.h"
#include "agent/fleet_state.h"
#include "agent/mqtt_client.h"
#include "scripting/script_report.h"
#include "support/mosquitto_broker.h"

namespace tarnex::testing {

// Waits, for at most `timeout`, until `condition` holds; polls, so it needs no event loop.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The site agent as a window's tests need it, played by the test over a real broker as the
// broker's "agent" user: retained presence, fleet and states, and the commands the window sent,
// answered (or not) on their response topics.
class AgentPlayer {
 public:
  explicit AgentPlayer(const MosquittoBroker& broker, std::string site = "site-a")
      : m_topics(std::move(site)) {
    mqtt::ClientOptions options;
    options.host = broker.host();
    options.port = broker.port();
    options.user = "agent";
    options.password = broker.password("agent");
    mqtt::Handlers handlers;
    handlers.connected = [this] { m_client->Subscribe(m_topics.Command(), 1); };
    handlers.message = [this](mqtt::Message message) {
      std::lock_guard lock(m_mutex);
      m_commands.push_back(std::move(message));
      m_arrived.notify_all();
    };
    std::string error;
    m_client = mqtt::Client::Create(options, std::move(handlers), &error);
    if (!m_client || !m_client->Start(&error)) throw std::runtime_error("agent player: " + error);
    // Subscribed before anything is sent to it: a command sent earlier would be lost.
    if (!WaitUntil([this] { return m_client->Connected() && m_client->Subscriptions() >= 1; }))
      throw std::runtime_error("agent player: no broker");
  }

  // The library's thread ends before what it fills goes.
  ~AgentPlayer() {
    if (m_client) m_client->Stop();
  }
  AgentPlayer(const AgentPlayer&) = delete;
  AgentPlayer& operator=(const AgentPlayer&) = delete;

  const agent::SiteTopics& Topics() const { return m_topics; }

  void Publish(const std::string& topic, const std::string& payload, bool retain = true) {
    Send({.topic = topic,
          .payload = payload,
          .qos = 1,
          .retain = retain,
          .responseTopic = std::nullopt,
          .correlation = std::nullopt,
          .expirySeconds = std::nullopt});
  }
  void Presence(const char* word) { Publish(m_topics.Agent(), word); }
  void Fleet(const agent::FleetView& fleet) { Publish(m_topics.Fleet(), agent::FleetJson(fleet)); }
  void State(const std::string& key, const agent::DisplayState& state) {
    Publish(m_topics.State(key), agent::StateJson(state));
  }

  // The next command the window sent, waiting at most `timeout`.
  std::optional<mqtt::Message> NextCommand(
      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock lock(m_mutex);
    if (!m_arrived.wait_for(lock, timeout, [this] { return !m_commands.empty(); }))
      return std::nullopt;
    mqtt::Message message = std::move(m_commands.front());
    m_commands.pop_front();
    return message;
  }
  size_t CommandsWaiting() {
    std::lock_guard lock(m_mutex);
    return m_commands.size();
  }

  // The answer the agent gives: the command line's document, with the command's correlation
  // unless another one is given.
  void Answer(const mqtt::Message& command, const ScriptReport& report,
              std::optional<std::string> correlation = std::nullopt) {
    const ParsedRequest parsed = RequestFromJson(command.payload);
    const ScriptRequest request = parsed.request ? *parsed.request : ScriptRequest{};
    AnswerRaw(command, ScriptDocument(request, report), std::move(correlation));
  }
  void AnswerRaw(const mqtt::Message& command, const std::string& document,
                 std::optional<std::string> correlation = std::nullopt) {
    Send({.topic = command.responseTopic.value_or(""),
          .payload = document,
          .qos = 1,
          .retain = false,
          .responseTopic = std::nullopt,
          .correlation = correlation ? correlation : command.correlation,
          .expirySeconds = std::nullopt});
  }

 private:
  void Send(const mqtt::Publication& publication) {
    if (!m_client->Publish(publication)) throw std::runtime_error("agent player: not sent");
  }

  agent::SiteTopics m_topics;
  std::unique_ptr<mqtt::Client> m_client;
  std::mutex m_mutex;
  std::condition_variable m_arrived;
  std::deque<mqtt::Message> m_commands;
};

// One result of an answer: the display `key`, done or failed with `message`.
inline ScriptResult AnsweredResult(const std::string& key, bool ok,
                                   const std::string& message = {}) {
  ScriptResult result;
  result.key = key;
  result.setId = "01";
  result.ok = ok;
  result.acked = ok;
  if (!ok) result.Fail(ScriptError::kNoReply, message);
  return result;
}

}  // namespace tarnex::testing
