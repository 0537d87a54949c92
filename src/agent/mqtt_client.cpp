#include "agent/mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/trace.h"

namespace tarnex::mqtt {
namespace {

// Topics, identities and payloads beyond these are nobody's honest message.
constexpr size_t kMaxTopicBytes = 512;
constexpr size_t kMaxCorrelationBytes = 256;

// Once per process; what the library set up for TLS is handed back at the process's end.
void InitLibraryOnce() {
  static const int rc = [] {
    const int init = mosquitto_lib_init();
    std::atexit([] { mosquitto_lib_cleanup(); });
    return init;
  }();
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
  m_reconnectMin = std::max(1, options.reconnectMinSeconds);
  m_reconnectMax = std::max(m_reconnectMin, options.reconnectMaxSeconds);
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
  // Publications come from other threads: the library must queue them for our loop rather
  // than write the socket from the caller.
  mosquitto_threaded_set(m_mosq, true);
  m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wake < 0) {
    if (error) *error = "cannot make the MQTT client's wake-up";
    return false;
  }
  m_started = true;
  m_thread = std::thread([this] { Loop(); });
  return true;
}

void Client::Wake() {
  const uint64_t one = 1;
  if (m_wake >= 0) (void)!::write(m_wake, &one, sizeof one);
}

void Client::Stop() {
  if (!m_started.exchange(false)) return;
  m_stopping = true;
  Wake();
  if (m_thread.joinable()) m_thread.join();
  m_connected = false;
  ::close(m_wake);
  m_wake = -1;
}

std::chrono::seconds Client::RetryWait(int tries) const {
  return std::chrono::seconds(std::min(m_reconnectMax, m_reconnectMin * std::max(tries, 1)));
}

// The wait before the next try grows by the minimum each time (1, 2, 3 ... s) up to the
// maximum: after a 20 s outage the broker is tried again within a few seconds of its return.
void Client::Loop() {
  using Clock = std::chrono::steady_clock;
  bool linked = false;
  int tries = 0;
  auto nextTry = Clock::now();
  for (bool first = true; !m_stopping;) {
    if (!linked && Clock::now() >= nextTry) {
      const int rc = first ? mosquitto_connect_async(m_mosq, m_host.c_str(), m_port, m_keepalive)
                           : mosquitto_reconnect_async(m_mosq);
      first = false;
      linked = rc == MOSQ_ERR_SUCCESS;
      if (!linked) {
        nextTry = Clock::now() + RetryWait(++tries);
        Trace("MQTT: cannot reach %s:%d: %s", m_host.c_str(), m_port, Why(rc).c_str());
      }
    }
    const int socket = linked ? mosquitto_socket(m_mosq) : -1;
    const short events = POLLIN | (socket >= 0 && mosquitto_want_write(m_mosq) ? POLLOUT : 0);
    pollfd fds[2] = {{m_wake, POLLIN, 0}, {socket, events, 0}};
    // The keepalive needs a look at least every second.
    ::poll(fds, socket >= 0 ? 2 : 1, 1000);
    uint64_t drained = 0;
    (void)!::read(m_wake, &drained, sizeof drained);
    if (!linked) continue;
    if (socket >= 0 && Service()) {
      if (m_connected.load()) tries = 0;
      continue;
    }
    linked = false;
    HandleDisconnect(MOSQ_ERR_CONN_LOST);
    nextTry = Clock::now() + RetryWait(++tries);
  }
  if (linked) SayGoodbye();
}

bool Client::Service() {
  int rc = mosquitto_loop_read(m_mosq, 1);
  if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(m_mosq)) rc = mosquitto_loop_write(m_mosq, 1);
  if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(m_mosq);
  return rc == MOSQ_ERR_SUCCESS;
}

// A goodbye, so that the broker does not publish the will; given a moment to go out.
void Client::SayGoodbye() {
  mosquitto_disconnect_v5(m_mosq, 0, nullptr);
  for (int i = 0; i < 5 && mosquitto_socket(m_mosq) >= 0 && mosquitto_want_write(m_mosq); ++i) {
    pollfd out{mosquitto_socket(m_mosq), POLLOUT, 0};
    ::poll(&out, 1, 100);
    if (mosquitto_loop_write(m_mosq, 1) != MOSQ_ERR_SUCCESS) break;
  }
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
  Wake();
  return true;
}

bool Client::Subscribe(const std::string& pattern, int qos, bool keepRetainFlag) {
  const int options = keepRetainFlag ? MQTT_SUB_OPT_RETAIN_AS_PUBLISHED : 0;
  const bool queued = mosquitto_subscribe_v5(m_mosq, nullptr, pattern.c_str(), qos, options,
                                             nullptr) == MOSQ_ERR_SUCCESS;
  Wake();
  return queued;
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
