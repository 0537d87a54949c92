#include "agent/mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cstdlib>

#include "platform/trace.h"

namespace tarnex::mqtt {
namespace {

// Topics, identities and payloads beyond these are nobody's honest message.
constexpr size_t kMaxTopicBytes = 512;
constexpr size_t kMaxCorrelationBytes = 256;

void InitLibraryOnce() {
  static const int rc = mosquitto_lib_init();
  (void)rc;
}

std::string Why(int rc) {
  if (rc == MOSQ_ERR_ERRNO) return std::string("system error: ") + mosquitto_strerror(rc);
  return mosquitto_strerror(rc);
}

// The properties a publication carries, freed with it.
class Properties {
 public:
  Properties() = default;
  ~Properties() { mosquitto_property_free_all(&m_list); }
  Properties(const Properties&) = delete;
  Properties& operator=(const Properties&) = delete;

  bool Add(const Publication& publication) {
    if (publication.responseTopic &&
        mosquitto_property_add_string(&m_list, MQTT_PROP_RESPONSE_TOPIC,
                                      publication.responseTopic->c_str()) != MOSQ_ERR_SUCCESS)
      return false;
    if (publication.correlation &&
        mosquitto_property_add_binary(
            &m_list, MQTT_PROP_CORRELATION_DATA, publication.correlation->data(),
            static_cast<uint16_t>(publication.correlation->size())) != MOSQ_ERR_SUCCESS)
      return false;
    if (publication.expirySeconds &&
        mosquitto_property_add_int32(&m_list, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL,
                                     *publication.expirySeconds) != MOSQ_ERR_SUCCESS)
      return false;
    return true;
  }
  const mosquitto_property* List() const { return m_list; }

 private:
  mosquitto_property* m_list = nullptr;
};

std::optional<std::string> StringProperty(const mosquitto_property* properties, int id) {
  char* value = nullptr;
  if (mosquitto_property_read_string(properties, id, &value, false) == nullptr) return {};
  std::string text = value != nullptr ? value : "";
  std::free(value);
  return text;
}

std::optional<std::string> BinaryProperty(const mosquitto_property* properties, int id) {
  void* value = nullptr;
  uint16_t length = 0;
  if (mosquitto_property_read_binary(properties, id, &value, &length, false) == nullptr) return {};
  std::string bytes(static_cast<const char*>(value), length);
  std::free(value);
  return bytes;
}

}  // namespace

// The library calls these C functions on its thread; they hand over to the client.
struct ClientCallbacks {
  static void Connect(mosquitto*, void* self, int reason, int, const mosquitto_property*) {
    static_cast<Client*>(self)->HandleConnect(reason);
  }
  static void Disconnect(mosquitto*, void* self, int reason, const mosquitto_property*) {
    static_cast<Client*>(self)->HandleDisconnect(reason);
  }
  static void Publish(mosquitto*, void* self, int mid, int, const mosquitto_property*) {
    static_cast<Client*>(self)->HandlePublish(mid);
  }
  static void Subscribe(mosquitto*, void* self, int, int, const int*, const mosquitto_property*) {
    static_cast<Client*>(self)->HandleSubscribe();
  }
  static void Message(mosquitto*, void* self, const mosquitto_message* message,
                      const mosquitto_property* properties) {
    auto* client = static_cast<Client*>(self);
    if (message == nullptr || message->topic == nullptr || !client->m_handlers.message) return;
    const std::string_view topic(message->topic);
    if (topic.size() > kMaxTopicBytes || message->payloadlen < 0) return;
    mqtt::Message copy;
    copy.topic = std::string(topic);
    copy.payload.assign(static_cast<const char*>(message->payload),
                        static_cast<size_t>(message->payloadlen));
    copy.qos = message->qos;
    copy.retain = message->retain;
    copy.responseTopic = StringProperty(properties, MQTT_PROP_RESPONSE_TOPIC);
    copy.correlation = BinaryProperty(properties, MQTT_PROP_CORRELATION_DATA);
    if (copy.correlation && copy.correlation->size() > kMaxCorrelationBytes) return;
    uint32_t expiry = 0;
    if (mosquitto_property_read_int32(properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, &expiry,
                                      false) != nullptr)
      copy.expirySeconds = expiry;
    copy.received = std::chrono::steady_clock::now();
    client->m_handlers.message(std::move(copy));
  }
};

Client::Client(Handlers handlers, int inFlightLimit)
    : m_handlers(std::move(handlers)), m_inFlightLimit(inFlightLimit) {}

std::unique_ptr<Client> Client::Create(const ClientOptions& options, Handlers handlers,
                                       std::string* error) {
  InitLibraryOnce();
  std::unique_ptr<Client> client(new Client(std::move(handlers), options.inFlightLimit));
  client->m_mosq = mosquitto_new(options.clientId.empty() ? nullptr : options.clientId.c_str(),
                                 true, client.get());
  if (client->m_mosq == nullptr) {
    if (error) *error = "cannot make an MQTT client";
    return nullptr;
  }
  if (!client->Configure(options, error)) return nullptr;
  return client;
}

bool Client::Configure(const ClientOptions& options, std::string* error) {
  const auto fail = [error](const std::string& what, int rc) {
    if (error) *error = what + ": " + Why(rc);
    return false;
  };
  int rc = mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  if (rc != MOSQ_ERR_SUCCESS) return fail("MQTT 5", rc);
  mosquitto_int_option(m_mosq, MOSQ_OPT_SEND_MAXIMUM, options.inFlightLimit);
  mosquitto_int_option(m_mosq, MOSQ_OPT_RECEIVE_MAXIMUM, options.inFlightLimit);
  mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
  if (!options.user.empty()) {
    rc = mosquitto_username_pw_set(m_mosq, options.user.c_str(),
                                   options.password.empty() ? nullptr : options.password.c_str());
    if (rc != MOSQ_ERR_SUCCESS) return fail("user", rc);
  }
  if (!options.caFile.empty()) {
    rc = mosquitto_tls_set(m_mosq, options.caFile.c_str(), nullptr,
                           options.certFile.empty() ? nullptr : options.certFile.c_str(),
                           options.keyFile.empty() ? nullptr : options.keyFile.c_str(), nullptr);
    if (rc != MOSQ_ERR_SUCCESS) return fail("TLS files", rc);
    // The certificate and the broker's name are checked; nothing turns that off.
    rc = mosquitto_tls_opts_set(m_mosq, 1, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) return fail("TLS", rc);
    mosquitto_tls_insecure_set(m_mosq, false);
  }
  if (!options.willTopic.empty()) {
    rc = mosquitto_will_set_v5(
        m_mosq, options.willTopic.c_str(), static_cast<int>(options.willPayload.size()),
        options.willPayload.data(), options.willQos, options.willRetain, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) return fail("last will", rc);
  }
  // The wait grows by the minimum each try (1, 2, 3 ... s) up to the maximum: the library's
  // "exponential" back-off is quadratic, and after a 20 s outage would keep the site dark
  // for 10 s more.
  mosquitto_reconnect_delay_set(m_mosq, static_cast<unsigned>(options.reconnectMinSeconds),
                                static_cast<unsigned>(options.reconnectMaxSeconds), false);
  mosquitto_connect_v5_callback_set(m_mosq, &ClientCallbacks::Connect);
  mosquitto_disconnect_v5_callback_set(m_mosq, &ClientCallbacks::Disconnect);
  mosquitto_publish_v5_callback_set(m_mosq, &ClientCallbacks::Publish);
  mosquitto_message_v5_callback_set(m_mosq, &ClientCallbacks::Message);
  mosquitto_subscribe_v5_callback_set(m_mosq, &ClientCallbacks::Subscribe);
  m_host = options.host;
  m_port = options.port;
  m_keepalive = options.keepaliveSeconds;
  return true;
}

Client::~Client() {
  Stop();
  if (m_mosq != nullptr) mosquitto_destroy(m_mosq);
}

bool Client::Start(std::string* error) {
  // A broker that is not there yet is no error: the library's thread tries again.
  const int rc = mosquitto_connect_async(m_mosq, m_host.c_str(), m_port, m_keepalive);
  if (rc == MOSQ_ERR_INVAL) {
    if (error) *error = "cannot connect to " + m_host + ": " + Why(rc);
    return false;
  }
  if (rc != MOSQ_ERR_SUCCESS)
    Trace("MQTT: first connect to %s failed: %s", m_host.c_str(), Why(rc).c_str());
  const int loop = mosquitto_loop_start(m_mosq);
  if (loop != MOSQ_ERR_SUCCESS) {
    if (error) *error = "cannot start the MQTT thread: " + Why(loop);
    return false;
  }
  m_started = true;
  return true;
}

void Client::Stop() {
  if (!m_started.exchange(false)) return;
  mosquitto_disconnect_v5(m_mosq, 0, nullptr);
  mosquitto_loop_stop(m_mosq, false);
  m_connected = false;
}

bool Client::Publish(const Publication& publication) {
  // While away nothing is queued in the library: the caller keeps what is to be sent again.
  if (!m_connected.load()) return false;
  if (publication.correlation && publication.correlation->size() > UINT16_MAX) return false;
  Properties properties;
  if (!properties.Add(publication)) return false;
  int mid = 0;
  // Not under our lock: the library may call back on its thread meanwhile.
  const int rc = mosquitto_publish_v5(
      m_mosq, &mid, publication.topic.c_str(), static_cast<int>(publication.payload.size()),
      publication.payload.data(), publication.qos, publication.retain, properties.List());
  if (rc != MOSQ_ERR_SUCCESS) return false;
  std::lock_guard lock(m_pendingMutex);
  // Acknowledged before we got here: nothing is in flight.
  if (m_early.erase(mid) > 0) return true;
  m_pending[mid] = publication.qos;
  if (publication.qos > 0) ++m_inFlight;
  return true;
}

bool Client::Subscribe(const std::string& pattern, int qos, bool keepRetainFlag) {
  const int options = keepRetainFlag ? MQTT_SUB_OPT_RETAIN_AS_PUBLISHED : 0;
  return mosquitto_subscribe_v5(m_mosq, nullptr, pattern.c_str(), qos, options, nullptr) ==
         MOSQ_ERR_SUCCESS;
}

void Client::HandleConnect(int reason) {
  if (reason != 0) {
    Trace("MQTT: the broker refused the connection: %s", mosquitto_reason_string(reason));
    if (m_handlers.disconnected) m_handlers.disconnected(reason);
    return;
  }
  {
    // A clean start forgets what was in flight.
    std::lock_guard lock(m_pendingMutex);
    m_pending.clear();
    m_early.clear();
    m_inFlight = 0;
    m_subscriptions = 0;
  }
  m_connected = true;
  if (m_handlers.connected) m_handlers.connected();
}

void Client::HandleDisconnect(int reason) {
  const bool was = m_connected.exchange(false);
  if (was && m_handlers.disconnected) m_handlers.disconnected(reason);
}

void Client::HandlePublish(int mid) {
  std::lock_guard lock(m_pendingMutex);
  const auto pending = m_pending.find(mid);
  if (pending == m_pending.end()) {
    m_early.insert(mid);
    return;
  }
  if (pending->second > 0) --m_inFlight;
  m_pending.erase(pending);
}

}  // namespace tarnex::mqtt
