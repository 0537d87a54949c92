#include "agent/agent_topics.h"

#include <algorithm>
#include <charconv>

#include "links/ip_address.h"

namespace tarnex::agent {
namespace {

constexpr size_t kMaxSiteChars = 32;
constexpr size_t kMaxReplyTopicBytes = 256;
constexpr std::string_view kSetPrefix = "set-";

bool IsSiteChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

// The levels of a topic; none when one is empty, so "a//b" matches no pattern.
std::optional<std::vector<std::string_view>> Levels(std::string_view topic) {
  std::vector<std::string_view> levels;
  size_t start = 0;
  while (start <= topic.size()) {
    const size_t slash = topic.find('/', start);
    const size_t end = slash == std::string_view::npos ? topic.size() : slash;
    if (end == start) return std::nullopt;
    levels.push_back(topic.substr(start, end - start));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return levels;
}

// The power and mute payloads: exactly these words, as a switch sends them.
std::optional<bool> OnOff(std::string_view payload) {
  if (payload == "ON") return true;
  if (payload == "OFF") return false;
  return std::nullopt;
}

AgentRequest Refused(std::string why) {
  return {.request = std::nullopt, .error = std::move(why)};
}

}  // namespace

bool IsSiteName(std::string_view site) {
  return !site.empty() && site.size() <= kMaxSiteChars &&
         std::all_of(site.begin(), site.end(), IsSiteChar);
}

std::string SerialKey(int setNumber) {
  std::string digits = std::to_string(setNumber);
  if (digits.size() < 2) digits.insert(0, "0");
  return std::string(kSetPrefix) + digits;
}

std::optional<int> SerialKeyNumber(std::string_view key) {
  if (!key.starts_with(kSetPrefix) || key.size() != kSetPrefix.size() + 2) return std::nullopt;
  const std::string_view digits = key.substr(kSetPrefix.size());
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return (digits[0] - '0') * 10 + (digits[1] - '0');
}

bool IsDisplayKey(std::string_view key) {
  return SerialKeyNumber(key).has_value() || IsDottedIPv4(key);
}

std::string TargetNameOfKey(std::string_view key) {
  if (const auto number = SerialKeyNumber(key)) return "set:" + std::to_string(*number);
  return "display:" + std::string(key);
}

std::string SiteTopics::State(std::string_view key) const {
  return Root() + "display/" + std::string(key) + "/state";
}

std::string SiteTopics::Set(std::string_view key, std::string_view setting) const {
  return Root() + "display/" + std::string(key) + "/set/" + std::string(setting);
}

bool SiteTopics::IsReplyTopic(std::string_view topic) const {
  const std::string prefix = ReplyPrefix();
  if (topic.size() > kMaxReplyTopicBytes || !topic.starts_with(prefix) || topic == prefix)
    return false;
  const auto printable = [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte != 0x7f && c != '+' && c != '#';
  };
  return std::all_of(topic.begin(), topic.end(), printable) && Levels(topic).has_value();
}

std::optional<IncomingTopic> ParseIncoming(const SiteTopics& topics, std::string_view topic) {
  const auto levels = Levels(topic);
  if (!levels || levels->size() < 3 || (*levels)[0] != "tarnex" || (*levels)[1] != topics.Site())
    return std::nullopt;
  if (levels->size() == 3 && (*levels)[2] == "command")
    return IncomingTopic{.kind = IncomingTopic::Kind::kCommand, .key = {}, .setting = {}};
  if (levels->size() != 6 || (*levels)[2] != "display" || (*levels)[4] != "set")
    return std::nullopt;
  const std::string_view key = (*levels)[3];
  const std::string_view setting = (*levels)[5];
  if (!IsDisplayKey(key) || (setting != "power" && setting != "input" && setting != "mute"))
    return std::nullopt;
  return IncomingTopic{
      .kind = IncomingTopic::Kind::kSet, .key = std::string(key), .setting = std::string(setting)};
}

AgentRequest SetRequest(std::string_view key, std::string_view setting, std::string_view payload) {
  if (payload.size() > kMaxPayloadBytes) return Refused("the payload is larger than 4 KiB");
  ScriptRequest request;
  request.targets = {TargetNameOfKey(key)};
  if (setting == "input") {
    if (!IsInputName(payload))
      return Refused("unknown input: " + std::string(payload.substr(0, 32)));
    request.verb = ScriptRequest::Verb::kInput;
    request.input = std::string(payload);
  } else {
    const auto on = OnOff(payload);
    if (!on) return Refused("the payload must be ON or OFF");
    request.verb = setting == "power" ? ScriptRequest::Verb::kPower : ScriptRequest::Verb::kMute;
    request.on = *on;
  }
  if (std::string why = CheckRequest(request); !why.empty()) return Refused(std::move(why));
  return {.request = std::move(request), .error = {}};
}

AgentRequest CommandRequest(std::string_view payload) {
  if (payload.size() > kMaxPayloadBytes) return Refused("the request is larger than 4 KiB");
  if (!JsonDepthWithin(payload, kMaxJsonDepth)) return Refused("the request is nested too deeply");
  ParsedRequest parsed = RequestFromJson(payload);
  if (!parsed.request) return Refused(std::move(parsed.error));
  // Over the bus nobody's files are read or written: a backup's values or a restore's file
  // belong to a command line on the agent's own machine.
  const auto verb = parsed.request->verb;
  if (verb == ScriptRequest::Verb::kBackup || verb == ScriptRequest::Verb::kRestore)
    return Refused(std::string(VerbName(verb)) + " is not offered over MQTT");
  return {.request = std::move(parsed.request), .error = {}};
}

bool JsonDepthWithin(std::string_view text, int limit) {
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

}  // namespace tarnex::agent
