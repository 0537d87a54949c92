#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>

struct mosquitto;

namespace tarnex::mqtt {

// One message to publish, or as the broker delivered it.
struct Publication {
  std::string topic;
  std::string payload;
  int qos = 0;
  bool retain = false;
  // MQTT 5 request/response: where the answer goes, and what it must carry back.
  std::optional<std::string> responseTopic;
  std::optional<std::string> correlation;
  // Delivered: as much of the sender's expiry as was left when the broker handed it over.
  std::optional<std::uint32_t> expirySeconds;
};

// A message received. Everything in it is the sender's, and untrusted.
struct Message : Publication {
  std::chrono::steady_clock::time_point received;
};

struct ClientOptions {
  std::string clientId;  // empty: the broker gives one
  std::string host = "127.0.0.1";
  int port = 1883;
  int keepaliveSeconds = 10;
  std::string user;
  std::string password;
  // TLS when a CA is given: the broker's certificate and name are always checked.
  std::string caFile;
  std::string certFile;
  std::string keyFile;
  // The last will, published by the broker when this client goes without saying goodbye.
  std::string willTopic;
  std::string willPayload;
  int willQos = 1;
  bool willRetain = true;
  // QoS 1 messages unacknowledged at once, both ways.
  int inFlightLimit = 1000;
  int reconnectMinSeconds = 1;
  int reconnectMaxSeconds = 30;
};

struct Handlers {
  // The broker accepted the connection (every reconnect too); the client's thread.
  std::function<void()> connected;
  // The connection went or was refused; `reason` is the library's or the broker's code.
  std::function<void(int reason)> disconnected;
  // A message arrived; the client's thread, so it must only validate and queue.
  std::function<void(Message)> message;
};

// The libmosquitto client of one MQTT 5 session with a clean start: a message published to
// us while we were away is never delivered later. One thread of the client's own runs the
// network with poll(), reconnects with waits growing from 1 to 30 s, and calls the handlers;
// nothing of ours waits on it but Stop(), which ends within about a second.
//
// The library's own thread (mosquitto_loop_start) waits with select(), which cannot watch a
// descriptor numbered 1024 or above: beside a thousand display connections the broker's
// socket is such a one, and that thread gives up for good. So the client drives the library
// from its own loop (mosquitto_loop_read/write/misc), which has no such limit.
class Client {
 public:
  // The library is set up once per process, on first use.
  static std::unique_ptr<Client> Create(const ClientOptions& options, Handlers handlers,
                                        std::string* error);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Starts the client's thread and the first connect. False with `error` set when it cannot
  // start at all; a broker that is not there yet is retried.
  bool Start(std::string* error);
  // Queued for the client's thread; false when not connected or refused by the library.
  bool Publish(const Publication& publication);
  // `keepRetainFlag`: a message retained by its sender is delivered with its retain flag even
  // while subscribed (MQTT 5's "retain as published"), so that it can be told apart.
  bool Subscribe(const std::string& pattern, int qos, bool keepRetainFlag = false);
  bool Connected() const { return m_connected.load(); }
  // Subscriptions the broker has confirmed in this session.
  int Subscriptions() const { return m_subscriptions.load(); }
  int InFlightLimit() const { return m_inFlightLimit; }
  // QoS 1 publications sent and not yet acknowledged: a publisher keeps this under a limit, so
  // that the library's queue stays bounded.
  int InFlight() const { return m_inFlight.load(); }
  // Ends the session with a goodbye (so the will is not published) and stops the thread.
  void Stop();

 private:
  friend struct ClientCallbacks;

  Client(Handlers handlers, int inFlightLimit);
  bool Configure(const ClientOptions& options, std::string* error);
  // The client's thread.
  void Loop();
  // Runs the socket once: reads, writes and keepalive; false when the connection went.
  bool Service();
  void SayGoodbye();
  std::chrono::seconds RetryWait(int tries) const;
  void Wake();
  void HandleConnect(int reason);
  void HandleDisconnect(int reason);
  void HandlePublish(int mid);
  void HandleSubscribe() { ++m_subscriptions; }

  Handlers m_handlers;
  mosquitto* m_mosq = nullptr;
  std::string m_host;
  int m_port = 0;
  int m_keepalive = 10;
  int m_inFlightLimit;
  std::atomic<bool> m_connected{false};
  int m_reconnectMin = 1;
  int m_reconnectMax = 30;
  std::atomic<bool> m_started{false};
  std::atomic<bool> m_stopping{false};
  int m_wake = -1;  // an eventfd: something was queued, or Stop()
  std::thread m_thread;
  std::atomic<int> m_inFlight{0};
  std::atomic<int> m_subscriptions{0};
  std::mutex m_pendingMutex;
  // Message ids sent and not yet reported gone, with their QoS; and those reported before
  // Publish() recorded them. Both are emptied by every new session.
  std::unordered_map<int, int> m_pending;
  std::unordered_set<int> m_early;
};

}  // namespace tarnex::mqtt
