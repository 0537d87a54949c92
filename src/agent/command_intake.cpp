#include "agent/command_intake.h"

#include <nlohmann/json.hpp>

#include "platform/trace.h"
#include "scripting/script_report.h"
#include "scripting/script_runner.h"

namespace tarnex::agent {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
constexpr size_t kMaxSeen = 4096;

// The topic's key, from a result's: the address, or "set 05" on the serial line.
std::string KeyOfResult(const std::string& key) {
  if (key.starts_with("set ") && key.size() == 6) return "set-" + key.substr(4);
  return key;
}

mqtt::Publication Plain(std::string topic, std::string payload, int qos) {
  return {.topic = std::move(topic),
          .payload = std::move(payload),
          .qos = qos,
          .retain = false,
          .responseTopic = std::nullopt,
          .correlation = std::nullopt,
          .expirySeconds = std::nullopt};
}

}  // namespace

CommandIntake::CommandIntake(CConsoleCore& core, StateBook& book, std::string site,
                             std::function<void()> changed)
    : m_core(core), m_book(book), m_topics(std::move(site)), m_changed(std::move(changed)) {}

CommandIntake::~CommandIntake() {
  Stop();
}

void CommandIntake::Start() {
  for (size_t i = 0; i < kWorkers; ++i) m_threads.emplace_back([this, i] { Work(i); });
}

void CommandIntake::Stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    for (auto& queue : m_queues) queue.clear();
    m_waiting = 0;
  }
  m_wake.notify_all();
  for (auto& thread : m_threads) {
    if (thread.joinable()) thread.join();
  }
  m_threads.clear();
}

bool CommandIntake::WaitIdle(std::chrono::milliseconds wait) {
  std::unique_lock lock(m_mutex);
  return m_idle.wait_for(lock, wait, [this] { return m_waiting == 0 && m_running == 0; });
}

void CommandIntake::OnMessage(mqtt::Message message) {
  const auto topic = ParseIncoming(m_topics, message.topic);
  if (!topic) {
    Trace("MQTT: a message on %s is not for this agent", message.topic.c_str());
    return;
  }
  const bool set = topic->kind == IncomingTopic::Kind::kSet;
  if (set && message.retain) {
    // A retained "power off" would be replayed at every reconnect.
    std::lock_guard lock(m_mutex);
    if (!m_tracedRetainedSet)
      Trace("MQTT: retained set messages are ignored (%s)", message.topic.c_str());
    m_tracedRetainedSet = true;
    return;
  }
  const bool replyable = message.responseTopic && m_topics.IsReplyTopic(*message.responseTopic);
  if (message.responseTopic && !replyable)
    return Refuse(message, false, "the response topic must be under " + m_topics.ReplyPrefix());
  if (message.retain) return Refuse(message, replyable, "a retained command is refused");
  if (Duplicate(message)) return;
  AgentRequest parsed = set ? SetRequest(topic->key, topic->setting, message.payload)
                            : CommandRequest(message.payload);
  if (!parsed.request) return Refuse(message, replyable, parsed.error);
  Item item{.request = std::move(*parsed.request),
            .replyTopic = replyable ? message.responseTopic : std::nullopt,
            .correlation = message.correlation,
            .expires = std::nullopt,
            .origin = message.topic};
  if (message.expirySeconds)
    item.expires = message.received + std::chrono::seconds(*message.expirySeconds);
  const std::string& lane = set ? topic->key : item.replyTopic.value_or("");
  const size_t worker = std::hash<std::string>{}(lane) % kWorkers;
  {
    std::lock_guard lock(m_mutex);
    if (!m_stop && m_waiting < kQueueLimit) {
      m_queues[worker].push_back(std::move(item));
      ++m_waiting;
      m_wake.notify_all();
      return;
    }
  }
  Refuse(message, replyable, "the agent has " + std::to_string(kQueueLimit) + " requests waiting",
         "busy");
}

// A QoS 1 message may come twice; the same correlation from the same reply topic within a
// minute is the same request.
bool CommandIntake::Duplicate(const mqtt::Message& message) {
  if (!message.correlation) return false;
  const auto now = Clock::now();
  std::lock_guard lock(m_mutex);
  for (auto it = m_seen.begin(); it != m_seen.end();) {
    it = now - it->second > kDuplicateWindow ? m_seen.erase(it) : std::next(it);
  }
  if (m_seen.size() >= kMaxSeen) m_seen.erase(m_seen.begin());
  return !m_seen
              .emplace(std::make_pair(message.responseTopic.value_or(""), *message.correlation),
                       now)
              .second;
}

void CommandIntake::Work(size_t worker) {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [&] { return m_stop || !m_queues[worker].empty(); });
    if (m_stop) return;
    Item item = std::move(m_queues[worker].front());
    m_queues[worker].pop_front();
    --m_waiting;
    ++m_running;
    lock.unlock();
    Run(item);
    lock.lock();
    --m_running;
    m_idle.notify_all();
  }
}

void CommandIntake::Run(const Item& item) {
  if (item.expires && Clock::now() > *item.expires) {
    Trace("MQTT: a request on %s expired before its turn", item.origin.c_str());
    Event(json{{"type", "expired"}, {"topic", item.origin}}.dump());
    return;
  }
  ScriptRunOptions options{
      .deadline = Clock::now() + std::chrono::seconds(item.request.timeoutSeconds),
      .linksKnown = true,
      .connect = {},
      .schedules = m_schedules,
      .directory = {}};
  const ScriptReport report = AcceptAndRun(m_core, item.request, options);
  Learn(item.request, report.results);
  if (m_changed) m_changed();
  const std::string document = ScriptDocument(item.request, report);
  if (item.replyTopic) return Reply(item.replyTopic, item.correlation, document);
  if (ExitCodeOf(report) != script_exit::kOk) {
    Event(
        json{{"type", "failed"}, {"topic", item.origin}, {"result", json::parse(document)}}.dump());
  }
}

void CommandIntake::Learn(const ScriptRequest& request, const std::vector<ScriptResult>& results) {
  DisplayState found;
  const std::string word = request.on ? "on" : "off";
  switch (request.verb) {
    case ScriptRequest::Verb::kPower:
      found.power = word;
      break;
    case ScriptRequest::Verb::kInput:
      found.input = request.input;
      break;
    case ScriptRequest::Verb::kMute:
      found.mute = word;
      break;
    default:
      return;
  }
  for (const ScriptResult& result : results) {
    if (result.ok) m_book.Merge(KeyOfResult(result.key), found);
  }
}

void CommandIntake::Refuse(const mqtt::Message& message, bool replyable, const std::string& why,
                           const std::string& code) {
  Trace("MQTT: refused a message on %s: %s", message.topic.c_str(), why.c_str());
  Event(json{{"type", "refused"}, {"topic", message.topic}, {"error", why}}.dump(
      -1, ' ', false, json::error_handler_t::replace));
  if (!replyable) return;
  ScriptReport report;
  report.exit = code == "busy" ? script_exit::kOwnerBusy : script_exit::kUsage;
  report.errorCode = code;
  report.errorMessage = why;
  Reply(message.responseTopic, message.correlation, ScriptDocument(ScriptRequest{}, report));
}

void CommandIntake::Reply(const std::optional<std::string>& topic,
                          const std::optional<std::string>& correlation,
                          const std::string& document) {
  if (!topic || m_client == nullptr) return;
  mqtt::Publication publication = Plain(*topic, document, 1);
  publication.correlation = correlation;
  if (!m_client->Publish(publication)) Trace("MQTT: the answer to %s was not sent", topic->c_str());
}

// Events are QoS 0: the history report is the record, the bus only tells who listens.
void CommandIntake::Event(const std::string& json) {
  if (m_client != nullptr) m_client->Publish(Plain(m_topics.Event(), json, 0));
}

}  // namespace tarnex::agent
