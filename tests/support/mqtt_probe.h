#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "agent/mqtt_client.h"

namespace tarnex::testing {

// A second MQTT client for a test: a dashboard, Home Assistant or another operator. It keeps
// every message it was handed, and the last retained payload of each topic.
class MqttProbe {
 public:
  struct Login {
    std::string host;
    int port = 1883;
    std::string user;
    std::string password;
    std::string caFile{};
  };

  explicit MqttProbe(const Login& login, std::vector<std::string> subscriptions = {})
      : m_subscriptions(std::move(subscriptions)) {
    mqtt::ClientOptions options;
    options.host = login.host;
    options.port = login.port;
    options.user = login.user;
    options.password = login.password;
    options.caFile = login.caFile;
    options.reconnectMinSeconds = 1;
    options.reconnectMaxSeconds = 1;
    std::string error;
    m_client = mqtt::Client::Create(options,
                                    {.connected = [this] { OnConnected(); },
                                     .disconnected = [](int) {},
                                     .message =
                                         [this](mqtt::Message message) {
                                           std::lock_guard lock(m_mutex);
                                           m_last[message.topic] = message.payload;
                                           m_messages.push_back(std::move(message));
                                           m_changed.notify_all();
                                         }},
                                    &error);
    if (!m_client || !m_client->Start(&error)) throw std::runtime_error("probe: " + error);
  }
  ~MqttProbe() { m_client->Stop(); }

  bool WaitConnected(std::chrono::milliseconds wait = std::chrono::seconds(5)) {
    return Eventually([this] { return m_subscribed; }, wait);
  }

  // Until `condition` holds over the messages so far, or `wait` passed.
  bool Eventually(const std::function<bool()>& condition,
                  std::chrono::milliseconds wait = std::chrono::seconds(5)) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, wait, [&] { return condition(); });
  }
  // The last payload seen on `topic`; call from a condition or after one.
  std::string LastLocked(const std::string& topic) const {
    const auto found = m_last.find(topic);
    return found == m_last.end() ? std::string() : found->second;
  }
  std::string Last(const std::string& topic) {
    std::lock_guard lock(m_mutex);
    return LastLocked(topic);
  }
  size_t CountLocked(const std::string& topic) const {
    size_t count = 0;
    for (const auto& message : m_messages) count += message.topic == topic ? 1 : 0;
    return count;
  }
  size_t Count(const std::string& topic) {
    std::lock_guard lock(m_mutex);
    return CountLocked(topic);
  }
  std::vector<mqtt::Message> Messages() {
    std::lock_guard lock(m_mutex);
    return m_messages;
  }
  std::vector<mqtt::Message>& MessagesLocked() { return m_messages; }
  size_t LastCountLocked() const { return m_last.size(); }

  bool Publish(const mqtt::Publication& publication) {
    for (int i = 0; i < 200 && !m_client->Connected(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_client->Publish(publication);
  }
  bool Publish(std::string topic, std::string payload, bool retain = false) {
    return Publish({.topic = std::move(topic),
                    .payload = std::move(payload),
                    .qos = 1,
                    .retain = retain,
                    .responseTopic = std::nullopt,
                    .correlation = std::nullopt,
                    .expirySeconds = std::nullopt});
  }
  mqtt::Client& Client() { return *m_client; }

 private:
  void OnConnected() {
    for (const std::string& pattern : m_subscriptions) m_client->Subscribe(pattern, 1);
    std::lock_guard lock(m_mutex);
    m_subscribed = true;
    m_changed.notify_all();
  }

  std::vector<std::string> m_subscriptions;
  std::unique_ptr<mqtt::Client> m_client;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_subscribed = false;
  std::vector<mqtt::Message> m_messages;
  std::map<std::string, std::string> m_last;
};

}  // namespace tarnex::testing
