#include "agent_arguments.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>

#include "agent/agent_topics.h"

namespace tarnex::agent {
namespace {

constexpr size_t kMaxPasswordFileBytes = 1024;
constexpr int kMaxPollSeconds = 24 * 3600;

bool ReadNumber(const std::string& text, int low, int high, int& out) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return false;
  out = value;
  return true;
}

std::string ReadBroker(const std::string& text, mqtt::ClientOptions& broker) {
  const size_t colon = text.rfind(':');
  const std::string host = colon == std::string::npos ? text : text.substr(0, colon);
  int port = 1883;
  if (host.empty() || host.size() > 253 ||
      (colon != std::string::npos && !ReadNumber(text.substr(colon + 1), 1, 65535, port)))
    return "--broker takes HOST:PORT, not \"" + text + "\"";
  broker.host = host;
  broker.port = port;
  return {};
}

// An option that takes a value; the value's check.
std::string ReadValue(const std::string& option, const std::string& value, AgentArguments& out) {
  AgentOptions& options = out.options;
  if (option == "--site") {
    if (!IsSiteName(value)) return "--site takes 1 to 32 of A-Z, a-z, 0-9, _ and -";
    options.site = value;
  } else if (option == "--broker") {
    return ReadBroker(value, options.broker);
  } else if (option == "--tls-ca") {
    options.broker.caFile = value;
  } else if (option == "--tls-cert") {
    options.broker.certFile = value;
  } else if (option == "--tls-key") {
    options.broker.keyFile = value;
  } else if (option == "--user") {
    options.broker.user = value;
  } else if (option == "--password-file") {
    out.passwordFile = value;
  } else if (option == "--config") {
    out.configFolder = value;
  } else if (option == "--poll") {
    int seconds = 0;
    if (!ReadNumber(value, 1, kMaxPollSeconds, seconds)) return "--poll takes 1 to 86400 seconds";
    options.poll = std::chrono::seconds(seconds);
  } else {
    return "unknown option " + option;
  }
  return {};
}

bool TakesValue(const std::string& option) {
  for (const char* known : {"--site", "--broker", "--tls-ca", "--tls-cert", "--tls-key", "--user",
                            "--password-file", "--config", "--poll"}) {
    if (option == known) return true;
  }
  return false;
}

}  // namespace

AgentArguments ReadAgentArguments(const std::vector<std::string>& words) {
  AgentArguments out;
  const auto fail = [&out](std::string why) {
    out.action = AgentArguments::Action::kUsageError;
    out.error = std::move(why);
    return out;
  };
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& option = words[i];
    if (option == "--help") return out.action = AgentArguments::Action::kHelp, out;
    if (option == "--version") return out.action = AgentArguments::Action::kVersion, out;
    if (option == "--ha-discovery") {
      out.options.haDiscovery = true;
    } else if (option == "--password" || option.starts_with("--password=")) {
      return fail(
          "a password on the command line is refused: use --password-file or "
          "TARNEX_MQTT_PASSWORD");
    } else if (TakesValue(option)) {
      if (i + 1 >= words.size()) return fail(option + " needs a value");
      if (std::string why = ReadValue(option, words[++i], out); !why.empty()) return fail(why);
    } else {
      return fail("unknown option " + option);
    }
  }
  if (out.options.site.empty()) return fail("--site is required");
  const bool certOrKey =
      !out.options.broker.certFile.empty() || !out.options.broker.keyFile.empty();
  if (certOrKey && out.options.broker.caFile.empty())
    return fail("--tls-cert and --tls-key need --tls-ca");
  if (out.options.broker.certFile.empty() != out.options.broker.keyFile.empty())
    return fail("--tls-cert and --tls-key go together");
  return out;
}

std::string ReadBrokerPassword(const std::string& path, std::string& error) {
  if (path.empty()) {
    const char* value = std::getenv("TARNEX_MQTT_PASSWORD");
    return value != nullptr ? std::string(value) : std::string();
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) ::close(fd);
    error = "cannot read the password file " + path;
    return {};
  }
  if ((info.st_mode & 077) != 0 || info.st_uid != ::geteuid() ||
      static_cast<size_t>(info.st_size) > kMaxPasswordFileBytes) {
    ::close(fd);
    error = "the password file " + path + " must be its owner's alone (0600), at most 1 KiB";
    return {};
  }
  std::string text(kMaxPasswordFileBytes, '\0');
  const ssize_t got = ::read(fd, text.data(), text.size());
  ::close(fd);
  if (got < 0) {
    error = "cannot read the password file " + path;
    return {};
  }
  text.resize(static_cast<size_t>(got));
  text = text.substr(0, text.find_first_of("\r\n"));
  return text;
}

std::string AgentUsageText() {
  return "Usage: tarnex-agent --site NAME [--broker HOST:PORT] [--tls-ca FILE]\n"
         "                    [--tls-cert FILE --tls-key FILE] [--user NAME]\n"
         "                    [--password-file FILE] [--poll SECONDS] [--ha-discovery]\n"
         "                    [--config DIR]\n"
         "Runs the displays of one configuration folder without a window and shows them on\n"
         "an MQTT broker under tarnex/NAME/. The password comes from --password-file or\n"
         "TARNEX_MQTT_PASSWORD, never from the command line.\n";
}

}  // namespace tarnex::agent
