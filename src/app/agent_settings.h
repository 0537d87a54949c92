#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnex {

// The window's choice of a site agent, in a file of its own beside the console's files, which
// it leaves as they are. Read once at the start: a change takes effect at the next start.
inline constexpr const char* kAgentFile = "Agent.ini";

struct AgentSettings {
  bool enabled = false;  // the window runs over the agent instead of its own links
  std::string broker;    // HOST:PORT
  std::string site;
  std::string caFile;        // TLS when given
  std::string user;          // empty: no login
  std::string passwordFile;  // its first line is the password

  bool operator==(const AgentSettings&) const = default;
};

struct BrokerAddress {
  std::string host;
  int port = 0;
};

// "HOST:PORT": a host name or dotted address, and a port 1 to 65535.
std::optional<BrokerAddress> ParseBroker(std::string_view text);

// Why the settings cannot be used, in the operator's words; empty when they can. Files are
// not opened here.
std::string CheckAgentSettings(const AgentSettings& settings);

struct PasswordRead {
  std::optional<std::string> password;
  std::string error;
};
// The password file must be the user's own regular file, readable by nobody else (mode 0600),
// of at most 1 KiB; the password is its first line.
PasswordRead ReadPasswordFile(const std::string& path);

std::string AgentSettingsText(const AgentSettings& settings);
// Bounded and checked; a file that says nothing of the agent is the console's own links.
struct AgentSettingsRead {
  AgentSettings settings;
  std::string error;  // the file asked for the agent, but is not usable
};
AgentSettingsRead AgentSettingsFromText(std::string_view text);

// A missing file: the console's own links. A file too large or unreadable asks for nothing.
AgentSettingsRead ReadAgentSettings(const std::string& path);
// Atomically: the old file or the new one, never a part. False when it could not be written.
bool WriteAgentSettings(const std::string& path, const AgentSettings& settings);

}  // namespace tarnex
