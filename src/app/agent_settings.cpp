#include "app/agent_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "agent/agent_topics.h"
#include "platform/atomic_file.h"

namespace tarnex {
namespace {

constexpr size_t kMaxSettingsBytes = 8 * 1024;
constexpr size_t kMaxPasswordFileBytes = 1024;
constexpr size_t kMaxHostChars = 253;
constexpr size_t kMaxPathChars = 4096;
constexpr size_t kMaxUserChars = 256;
constexpr std::string_view kSection = "[Agent]";

bool IsHostChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-';
}

bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string CheckPath(const std::string& path, const char* what) {
  if (path.size() > kMaxPathChars || HasControl(path))
    return std::string("The ") + what + " path is not valid.";
  if (!path.empty() && path.front() != '/')
    return std::string("The ") + what + " must be given by its full path.";
  return {};
}

// Reads at most `limit` bytes of a regular file, without following a link at its name and
// without waiting on a pipe. None when it is not such a file or is larger.
struct FileRead {
  std::optional<std::string> bytes;
  struct stat info {};
  std::string error;
};

FileRead ReadRegularFile(const std::string& path, size_t limit) {
  FileRead read;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    read.error = errno == ENOENT ? "missing" : std::strerror(errno);
    return read;
  }
  std::string bytes;
  if (::fstat(fd, &read.info) != 0 || !S_ISREG(read.info.st_mode)) {
    read.error = "not a regular file";
  } else if (static_cast<size_t>(read.info.st_size) > limit) {
    read.error = "too large";
  } else {
    bytes.resize(limit + 1);
    size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    if (got > limit) {
      read.error = "too large";
    } else {
      read.bytes = std::move(bytes);
    }
  }
  ::close(fd);
  return read;
}

void TakeKey(AgentSettings& settings, std::string_view key, std::string_view value) {
  const std::string text(value);
  if (SameWord(key, "Mode")) settings.enabled = value == "agent";
  if (SameWord(key, "Broker")) settings.broker = text;
  if (SameWord(key, "Site")) settings.site = text;
  if (SameWord(key, "CaFile")) settings.caFile = text;
  if (SameWord(key, "User")) settings.user = text;
  if (SameWord(key, "PasswordFile")) settings.passwordFile = text;
}

}  // namespace

std::optional<BrokerAddress> ParseBroker(std::string_view text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  const std::string_view host = text.substr(0, colon);
  const std::string_view port = text.substr(colon + 1);
  if (host.size() > kMaxHostChars || !std::all_of(host.begin(), host.end(), IsHostChar) ||
      host.front() == '-' || host.front() == '.' || port.empty() || port.size() > 5)
    return std::nullopt;
  int number = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (ec != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535)
    return std::nullopt;
  return BrokerAddress{.host = std::string(host), .port = number};
}

std::string CheckAgentSettings(const AgentSettings& settings) {
  if (!ParseBroker(settings.broker)) return "The broker must be given as HOST:PORT.";
  if (!agent::IsSiteName(settings.site))
    return "The site must be 1 to 32 letters, digits, '_' or '-'.";
  if (settings.user.size() > kMaxUserChars || HasControl(settings.user))
    return "The user name is not valid.";
  if (std::string why = CheckPath(settings.caFile, "CA file"); !why.empty()) return why;
  if (std::string why = CheckPath(settings.passwordFile, "password file"); !why.empty()) return why;
  if (!settings.passwordFile.empty() && settings.user.empty())
    return "A password file needs a user name.";
  return {};
}

PasswordRead ReadPasswordFile(const std::string& path) {
  PasswordRead result;
  FileRead read = ReadRegularFile(path, kMaxPasswordFileBytes);
  const auto refuse = [&](const std::string& why) {
    result.error = "The password file " + path + " " + why + ".";
    return result;
  };
  if (read.error == "too large") return refuse("is larger than 1 KiB");
  if (read.error == "not a regular file") return refuse("is not a regular file");
  if (!read.bytes) return refuse("cannot be read: " + read.error);
  if (read.info.st_uid != ::geteuid()) return refuse("is not the user's own");
  if ((read.info.st_mode & 07777) != 0600) return refuse("must have mode 0600");
  std::string_view text = *read.bytes;
  text = text.substr(0, text.find('\n'));
  if (text.ends_with('\r')) text.remove_suffix(1);
  if (text.empty()) return refuse("holds no password on its first line");
  if (HasControl(text)) return refuse("holds a control character in its first line");
  result.password = std::string(text);
  return result;
}

std::string AgentSettingsText(const AgentSettings& settings) {
  std::string text = std::string(kSection) + "\n";
  text += std::string("Mode=") + (settings.enabled ? "agent" : "console") + "\n";
  text += "Broker=" + settings.broker + "\n";
  text += "Site=" + settings.site + "\n";
  text += "CaFile=" + settings.caFile + "\n";
  text += "User=" + settings.user + "\n";
  text += "PasswordFile=" + settings.passwordFile + "\n";
  return text;
}

AgentSettingsRead AgentSettingsFromText(std::string_view text) {
  AgentSettingsRead read;
  if (text.size() > kMaxSettingsBytes) {
    read.error = "The agent settings file is too large.";
    return read;
  }
  bool inSection = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      inSection = SameWord(line, kSection);
      continue;
    }
    const size_t equals = line.find('=');
    if (!inSection || equals == std::string_view::npos) continue;
    TakeKey(read.settings, Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)));
  }
  if (read.settings.enabled) read.error = CheckAgentSettings(read.settings);
  return read;
}

AgentSettingsRead ReadAgentSettings(const std::string& path) {
  FileRead file = ReadRegularFile(path, kMaxSettingsBytes);
  if (file.bytes) return AgentSettingsFromText(*file.bytes);
  AgentSettingsRead read;
  if (file.error == "missing") return read;
  // It may have asked for the agent: the window must not then reach for the displays itself.
  read.settings.enabled = true;
  read.error = "The agent settings " + path + " cannot be read: " + file.error + ".";
  return read;
}

bool WriteAgentSettings(const std::string& path, const AgentSettings& settings) {
  return WriteFileAtomically(path, AgentSettingsText(settings), 0600);
}

}  // namespace tarnex
