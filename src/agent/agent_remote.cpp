#include "agent/agent_remote.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>

#include "platform/trace.h"

namespace tarnex::agent {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

// A group's answer carries a result per member; a thousand members with their values stay
// well under this.
constexpr size_t kMaxReplyBytes = 1024 * 1024;
// The answer nests: document, results, result, values, value, words.
constexpr int kMaxReplyDepth = 8;
// Keys seen in state topics before (or without) a fleet naming them; beyond this, ignored.
constexpr size_t kMaxStates = 10000;

// A box shows at most this much of what the agent said.
constexpr size_t kMaxShownChars = 512;

std::string ShownBounded(std::string text) {
  if (text.size() > kMaxShownChars) text.resize(kMaxShownChars);
  return Shown(std::move(text));
}

std::string RandomTag() {
  std::random_device device;
  char text[17];
  std::snprintf(text, sizeof text, "%08x%08x", device(), device());
  return text;
}

RemoteReply Failed(RemoteReply::Outcome outcome, std::string message) {
  RemoteReply reply;
  reply.outcome = outcome;
  reply.message = std::move(message);
  return reply;
}

bool ReadError(const json& document, RemoteReply& reply) {
  const auto error = document.find("error");
  if (error == document.end() || error->is_null()) return true;
  if (!error->is_object()) return false;
  const auto code = error->find("code");
  const auto message = error->find("message");
  if (code == error->end() || !code->is_string() || message == error->end() ||
      !message->is_string())
    return false;
  reply.errorCode = code->get<std::string>();
  reply.message = ShownBounded(message->get<std::string>());
  return true;
}

// The first failing result's message, for a run that failed without a run-wide error.
std::string FirstFailure(const std::vector<ScriptResult>& results) {
  for (const ScriptResult& result : results) {
    if (!result.ok && !result.message.empty()) return ShownBounded(result.message);
  }
  return {};
}

}  // namespace

std::optional<RemoteReply> ReplyFromJson(std::string_view text) {
  if (text.size() > kMaxReplyBytes || !JsonDepthWithin(text, kMaxReplyDepth)) return std::nullopt;
  const json document = json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object()) return std::nullopt;
  const auto schema = document.find("schema");
  const auto results = document.find("results");
  const auto exit = document.find("exit");
  if (schema == document.end() || *schema != 1 || results == document.end() ||
      !results->is_array() || results->size() > kMaxScriptTargets || exit == document.end() ||
      !exit->is_number_integer())
    return std::nullopt;
  RemoteReply reply;
  reply.outcome = RemoteReply::Outcome::kAnswered;
  const long long code = exit->get<long long>();
  if (code < 0 || code > 255) return std::nullopt;
  reply.exit = static_cast<int>(code);
  for (const json& item : *results) {
    std::optional<ScriptResult> result;
    try {
      // It throws on a field of the wrong type: the reading ends there.
      if (item.is_object()) result = ScriptResultFrom(item);
    } catch (const json::exception&) {
      return std::nullopt;
    }
    if (!result) return std::nullopt;
    reply.results.push_back(std::move(*result));
  }
  if (!ReadError(document, reply)) return std::nullopt;
  if (reply.exit != script_exit::kOk && reply.message.empty())
    reply.message = FirstFailure(reply.results);
  return reply;
}

AgentRemote::AgentRemote(RemoteOptions options, Listener listener)
    : m_options(std::move(options)),
      m_listener(std::move(listener)),
      m_topics(m_options.site),
      m_instance(RandomTag()) {
  m_replyTopic = m_topics.ReplyPrefix() + "window-" + m_instance;
  m_stateTopicPrefix = "tarnex/" + m_options.site + "/display/";
}

AgentRemote::~AgentRemote() {
  Stop();
}

bool AgentRemote::Start(std::string* error) {
  if (!IsSiteName(m_options.site)) {
    if (error) *error = "the site name is not valid";
    return false;
  }
  mqtt::ClientOptions client;
  client.host = m_options.host;
  client.port = m_options.port;
  client.caFile = m_options.caFile;
  client.user = m_options.user;
  client.password = m_options.password;
  mqtt::Handlers handlers;
  handlers.connected = [this] { OnConnected(); };
  handlers.disconnected = [this](int) { OnDisconnected(); };
  handlers.message = [this](mqtt::Message message) { OnMessage(message); };
  m_client = mqtt::Client::Create(client, std::move(handlers), error);
  if (!m_client) return false;
  m_deadlines = std::thread([this] { WatchDeadlines(); });
  if (!m_client->Start(error)) {
    Stop();
    return false;
  }
  return true;
}

void AgentRemote::Stop() {
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return;
    m_stopped = true;
  }
  // The library's thread ends first: no message can then add or answer a request.
  if (m_client) m_client->Stop();
  Completed left;
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_snapshot.connected = false;
    left = TakeAllLocked(RemoteReply::Outcome::kUnreachable, kAgentUnreachable);
  }
  m_wake.notify_all();
  if (m_deadlines.joinable()) m_deadlines.join();
  Finish(std::move(left));
}

RemoteSnapshot AgentRemote::Snapshot() const {
  std::lock_guard lock(m_mutex);
  return m_snapshot;
}

size_t AgentRemote::PendingCount() const {
  std::lock_guard lock(m_mutex);
  return m_pending.size();
}

std::string AgentRemote::NextCorrelation() {
  return m_instance + "-" + std::to_string(++m_sequence);
}

void AgentRemote::Send(const ScriptRequest& request, ReplyCallback done) {
  std::string correlation;
  std::optional<RemoteReply> refused;
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped || !m_client || !m_snapshot.Reachable()) {
      refused = Failed(RemoteReply::Outcome::kUnreachable, kAgentUnreachable);
    } else if (m_pending.size() >= m_options.maxPending) {
      refused = Failed(RemoteReply::Outcome::kRefused, kAgentBusy);
    } else {
      correlation = NextCorrelation();
      // Recorded before it goes, so that the quickest answer finds it.
      const auto wait = std::chrono::seconds(request.timeoutSeconds) + m_options.replyGrace;
      m_pending[correlation] = {.done = std::move(done), .deadline = Clock::now() + wait};
    }
  }
  if (refused) {
    done(std::move(*refused));
    return;
  }
  m_wake.notify_all();
  const bool sent = m_client->Publish({.topic = m_topics.Command(),
                                       .payload = RequestToJson(request),
                                       .qos = 1,
                                       .retain = false,
                                       .responseTopic = m_replyTopic,
                                       .correlation = correlation,
                                       .expirySeconds = m_options.commandExpirySeconds});
  if (sent) return;
  ReplyCallback failed;
  {
    std::lock_guard lock(m_mutex);
    const auto found = m_pending.find(correlation);
    if (found == m_pending.end()) return;  // answered or given up meanwhile
    failed = std::move(found->second.done);
    m_pending.erase(found);
  }
  failed(Failed(RemoteReply::Outcome::kUnreachable, kAgentUnreachable));
}

// A clean session: nothing is subscribed and the agent's word comes again, retained.
void AgentRemote::OnConnected() {
  m_client->Subscribe(m_replyTopic, 1);
  m_client->Subscribe(m_topics.Agent(), 1);
  m_client->Subscribe(m_topics.Fleet(), 1);
  m_client->Subscribe(m_topics.State("+"), 1);
  {
    std::lock_guard lock(m_mutex);
    m_snapshot.connected = true;
    m_snapshot.agentOnline = false;
  }
  Notify();
}

// No answer can come on a lost session: whatever waits is answered now.
void AgentRemote::OnDisconnected() {
  Completed left;
  {
    std::lock_guard lock(m_mutex);
    m_snapshot.connected = false;
    left = TakeAllLocked(RemoteReply::Outcome::kUnreachable, kAgentUnreachable);
  }
  Finish(std::move(left));
  Notify();
}

void AgentRemote::OnMessage(const mqtt::Message& message) {
  if (message.topic == m_replyTopic) {
    TakeReply(message);
    return;
  }
  bool changed = false;
  if (message.topic == m_topics.Agent()) {
    changed = TakeAgentWord(message.payload);
  } else if (message.topic == m_topics.Fleet()) {
    changed = TakeFleet(message.payload);
  } else if (message.topic.starts_with(m_stateTopicPrefix)) {
    changed = TakeState(message.topic, message.payload);
  }
  if (changed) Notify();
}

// "online", "offline", or a cleared retained word (the agent removed for good).
bool AgentRemote::TakeAgentWord(std::string_view payload) {
  if (payload != "online" && payload != "offline" && !payload.empty()) return false;
  Completed left;
  {
    std::lock_guard lock(m_mutex);
    m_snapshot.agentOnline = payload == "online";
    // An agent that went answers nothing it had not answered.
    if (!m_snapshot.agentOnline)
      left = TakeAllLocked(RemoteReply::Outcome::kUnreachable, kAgentUnreachable);
  }
  Finish(std::move(left));
  return true;
}

bool AgentRemote::TakeFleet(std::string_view payload) {
  std::optional<FleetView> fleet = FleetFromJson(payload);
  if (!fleet) {
    Trace("agent: a fleet that is not one was ignored (%zu bytes)", payload.size());
    return false;
  }
  std::lock_guard lock(m_mutex);
  std::map<std::string, DisplayState> kept;
  for (const FleetView::Display& display : fleet->displays) {
    const auto found = m_snapshot.states.find(display.key);
    if (found != m_snapshot.states.end()) kept.insert(*found);
  }
  m_snapshot.states = std::move(kept);
  m_snapshot.fleet = std::move(*fleet);
  return true;
}

// "tarnex/<site>/display/<key>/state" exactly; an empty payload clears a retained state.
bool AgentRemote::TakeState(std::string_view topic, std::string_view payload) {
  std::string_view rest = topic.substr(m_stateTopicPrefix.size());
  constexpr std::string_view kSuffix = "/state";
  if (!rest.ends_with(kSuffix)) return false;
  const std::string key(rest.substr(0, rest.size() - kSuffix.size()));
  if (!IsDisplayKey(key)) return false;
  std::optional<DisplayState> state;
  if (!payload.empty()) {
    state = StateFromJson(payload);
    if (!state) return false;
  }
  std::lock_guard lock(m_mutex);
  auto& states = m_snapshot.states;
  if (!state) return states.erase(key) > 0;
  if (states.size() >= kMaxStates && !states.contains(key)) return false;
  states[key] = std::move(*state);
  return true;
}

void AgentRemote::TakeReply(const mqtt::Message& message) {
  if (!message.correlation) return;
  ReplyCallback done;
  {
    std::lock_guard lock(m_mutex);
    const auto found = m_pending.find(*message.correlation);
    if (found == m_pending.end()) return;  // not ours, or already given up
    done = std::move(found->second.done);
    m_pending.erase(found);
  }
  std::optional<RemoteReply> reply = ReplyFromJson(message.payload);
  done(reply ? std::move(*reply) : Failed(RemoteReply::Outcome::kGarbled, kAgentGarbled));
}

// The deadline thread: each request that outlives its wait is answered as timed out.
void AgentRemote::WatchDeadlines() {
  std::unique_lock lock(m_mutex);
  while (!m_stopping) {
    Completed late;
    auto next = Clock::time_point::max();
    const auto now = Clock::now();
    for (auto it = m_pending.begin(); it != m_pending.end();) {
      if (it->second.deadline <= now) {
        late.emplace_back(std::move(it->second.done),
                          Failed(RemoteReply::Outcome::kTimedOut, kAgentSilent));
        it = m_pending.erase(it);
        continue;
      }
      next = std::min(next, it->second.deadline);
      ++it;
    }
    if (!late.empty()) {
      lock.unlock();
      Finish(std::move(late));
      lock.lock();
      continue;
    }
    if (next == Clock::time_point::max()) {
      m_wake.wait(lock);
    } else {
      m_wake.wait_until(lock, next);
    }
  }
}

AgentRemote::Completed AgentRemote::TakeAllLocked(RemoteReply::Outcome outcome,
                                                  const char* message) {
  Completed completed;
  for (auto& [correlation, pending] : m_pending)
    completed.emplace_back(std::move(pending.done), Failed(outcome, message));
  m_pending.clear();
  return completed;
}

void AgentRemote::Finish(Completed completed) {
  for (auto& [done, reply] : completed) done(std::move(reply));
}

void AgentRemote::Notify() const {
  if (m_listener) m_listener();
}

}  // namespace tarnex::agent
