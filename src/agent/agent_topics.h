#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "scripting/script_request.h"

namespace tarnex::agent {

// The names of one site's topics, everything under "tarnex/<site>/". A site name is 1 to 32
// of [A-Za-z0-9_-]: nothing in it can be a wildcard or a level of its own.
bool IsSiteName(std::string_view site);

// A display's key in topics: its address on the network, "set-NN" on the serial line.
std::string SerialKey(int setNumber);
std::optional<int> SerialKeyNumber(std::string_view key);
bool IsDisplayKey(std::string_view key);
// The name a request gives the display of `key`, as tarnexctl's command line would.
std::string TargetNameOfKey(std::string_view key);

class SiteTopics {
 public:
  explicit SiteTopics(std::string site) : m_site(std::move(site)) {}

  const std::string& Site() const { return m_site; }
  std::string Agent() const { return Root() + "agent"; }
  std::string Fleet() const { return Root() + "fleet"; }
  std::string State(std::string_view key) const;
  std::string Set(std::string_view key, std::string_view setting) const;
  std::string Command() const { return Root() + "command"; }
  std::string Event() const { return Root() + "event"; }
  std::string ReplyPrefix() const { return Root() + "reply/"; }
  // What the agent subscribes to: its own set and command topics, nothing wider.
  std::string SetFilter() const { return Root() + "display/+/set/+"; }
  // A response topic an answer may go to: under reply/, printable, no wildcards, bounded.
  bool IsReplyTopic(std::string_view topic) const;

 private:
  std::string Root() const { return "tarnex/" + m_site + "/"; }
  std::string m_site;
};

struct IncomingTopic {
  enum class Kind { kSet, kCommand };
  Kind kind = Kind::kCommand;
  std::string key;      // kSet
  std::string setting;  // kSet: power, input or mute
};

// The topic of a message the agent takes, or none for anything outside its exact patterns.
std::optional<IncomingTopic> ParseIncoming(const SiteTopics& topics, std::string_view topic);

inline constexpr size_t kMaxPayloadBytes = 4096;
inline constexpr int kMaxJsonDepth = 8;

struct AgentRequest {
  std::optional<ScriptRequest> request;
  std::string error;
};

// A set message's payload as the request it stands for: power and mute "ON"/"OFF", input one
// of the input names; anything else is refused with the reason.
AgentRequest SetRequest(std::string_view key, std::string_view setting, std::string_view payload);
// A command message's payload, checked as the owner socket checks a request, and more tightly:
// at most 4 KiB, nested no deeper than kMaxJsonDepth, and no verb that names a file.
AgentRequest CommandRequest(std::string_view payload);

// Whether JSON text nests no deeper than `limit` (strings skipped); checked before parsing.
bool JsonDepthWithin(std::string_view text, int limit);

}  // namespace tarnex::agent
