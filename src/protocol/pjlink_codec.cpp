#include "protocol/pjlink_codec.h"

#include <algorithm>

namespace tarnex::pjlink {

namespace {

constexpr std::string_view kHeader = "%1";
constexpr size_t kCommandLength = 4;
constexpr size_t kRandomLength = 8;
// A display lists a few dozen inputs at most; a longer list is junk and is cut here.
constexpr size_t kMaxInputs = 50;
constexpr size_t kMaxLamps = 2;
constexpr size_t kMaxLampDigits = 5;
constexpr size_t kErrorFields = 6;

// Locale-free on purpose: a display's bytes above 0x7f are never letters here.
char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsPrintable(char c) {
  return c >= 0x20 && c <= 0x7e;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiUpper(x) == AsciiUpper(y);
         });
}

// Some displays send the NULs left over from an earlier, shorter packet ahead of the next one.
std::string_view DropLeadingNuls(std::string_view packet) {
  const size_t start = packet.find_first_not_of('\0');
  return start == std::string_view::npos ? std::string_view{} : packet.substr(start);
}

// Others pad a value out to a fixed width with blanks or NULs.
std::string_view DropTrailingPadding(std::string_view value) {
  const size_t end = value.find_last_not_of(std::string_view(" \0", 2));
  return end == std::string_view::npos ? std::string_view{} : value.substr(0, end + 1);
}

// Display names may be UTF-8, so only control bytes are refused: they would reach the
// operator's log and window as they came.
bool HasControlBytes(std::string_view value) {
  return std::any_of(value.begin(), value.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

std::optional<ReplyKind> ErrorKind(std::string_view value) {
  if (value.size() != 4 || !EqualsIgnoringCase(value.substr(0, 3), "ERR")) return std::nullopt;
  switch (value[3]) {
    case '1':
      return ReplyKind::kErr1;
    case '2':
      return ReplyKind::kErr2;
    case '3':
      return ReplyKind::kErr3;
    case '4':
      return ReplyKind::kErr4;
    default:
      return std::nullopt;
  }
}

// The blank-separated tokens of a value, runs of blanks counting as one.
std::vector<std::string_view> Tokens(std::string_view value, size_t limit) {
  std::vector<std::string_view> tokens;
  size_t position = 0;
  while (tokens.size() < limit) {
    const size_t start = value.find_first_not_of(' ', position);
    if (start == std::string_view::npos) break;
    const size_t end = std::min(value.find(' ', start), value.size());
    tokens.push_back(value.substr(start, end - start));
    position = end;
  }
  return tokens;
}

bool IsInputCode(std::string_view code) {
  if (code.size() != 2 || code[0] < '1' || code[0] > '5') return false;
  return IsDigit(code[1]) || IsLetter(code[1]);
}

std::optional<long> LampHours(std::string_view token) {
  if (token.empty() || token.size() > kMaxLampDigits) return std::nullopt;
  long hours = 0;
  for (const char c : token) {
    if (!IsDigit(c)) return std::nullopt;
    hours = hours * 10 + (c - '0');
  }
  return hours;
}

}  // namespace

std::string Frame(std::string_view command, std::string_view parameter) {
  // Names are letters and digits: "POWR", but also "INF1" and "INF2".
  if (command.size() != kCommandLength || !std::all_of(command.begin(), command.end(), [](char c) {
        return IsLetter(c) || IsDigit(c);
      }))
    return {};
  if (parameter.empty() || parameter.size() > kMaxParameter ||
      !std::all_of(parameter.begin(), parameter.end(), IsPrintable))
    return {};
  std::string frame(kHeader);
  for (const char c : command) frame += AsciiUpper(c);
  frame += ' ';
  frame += parameter;
  frame += '\r';
  return frame;
}

Reply ParseReply(std::string_view packet, std::string_view command, bool query) {
  packet = DropLeadingNuls(packet);
  if (packet.size() > kMaxPacket) return {};
  if (EqualsIgnoringCase(DropTrailingPadding(packet), "PJLINK ERRA")) return {ReplyKind::kErrA, {}};

  const size_t separator = kHeader.size() + kCommandLength;
  if (command.size() != kCommandLength || packet.size() <= separator ||
      packet.substr(0, kHeader.size()) != kHeader ||
      !EqualsIgnoringCase(packet.substr(kHeader.size(), kCommandLength), command) ||
      packet[separator] != '=')
    return {};

  const std::string_view value = DropTrailingPadding(packet.substr(separator + 1));
  if (HasControlBytes(value)) return {};
  if (EqualsIgnoringCase(value, "OK")) return {query ? ReplyKind::kUnknown : ReplyKind::kOk, {}};
  if (const auto error = ErrorKind(value)) return {*error, {}};
  if (!query) return {};
  return {ReplyKind::kValue, std::string(value)};
}

std::optional<Greeting> ParseGreeting(std::string_view packet) {
  packet = DropLeadingNuls(packet);
  if (EqualsIgnoringCase(packet, "PJLINK 0")) return Greeting{};
  constexpr std::string_view kSecured = "PJLINK 1 ";
  if (packet.size() != kSecured.size() + kRandomLength ||
      !EqualsIgnoringCase(packet.substr(0, kSecured.size()), kSecured))
    return std::nullopt;
  const std::string_view random = packet.substr(kSecured.size());
  if (!std::all_of(random.begin(), random.end(), IsHexDigit)) return std::nullopt;
  return Greeting{true, std::string(random)};
}

std::optional<int> ClassOf(std::string_view value) {
  const auto digit = std::find_if(value.begin(), value.end(), IsDigit);
  if (digit == value.end()) return std::nullopt;
  return *digit - '0';
}

std::optional<std::string_view> PowerWord(std::string_view value) {
  if (value == "0") return "Standby";
  if (value == "1") return "On";
  if (value == "2") return "Cooling";
  if (value == "3") return "Warm-up";
  return std::nullopt;
}

std::vector<std::string> InputsOf(std::string_view value) {
  std::vector<std::string> inputs;
  // Every token is looked at, so a junk token early on does not hide the inputs after it, yet
  // the list itself stays bounded.
  for (const std::string_view token : Tokens(value, kMaxPacket)) {
    if (inputs.size() == kMaxInputs) break;
    if (IsInputCode(token)) inputs.emplace_back(token);
  }
  return inputs;
}

std::string InputName(std::string_view code) {
  if (!IsInputCode(code)) return {};
  static constexpr std::array<std::string_view, 5> kKinds = {"RGB", "Video", "Digital", "Storage",
                                                             "Network"};
  std::string name(kKinds[static_cast<size_t>(code[0] - '1')]);
  name += ' ';
  name += code[1];
  return name;
}

std::optional<bool> ScreenMuted(std::string_view value) {
  if (value == "11" || value == "31") return true;
  if (value == "10" || value == "20" || value == "21" || value == "30") return false;
  return std::nullopt;
}

std::vector<std::pair<long, bool>> LampsOf(std::string_view value) {
  std::vector<std::pair<long, bool>> lamps;
  const std::vector<std::string_view> tokens = Tokens(value, kMaxLamps * 2);
  for (size_t i = 0; i + 1 < tokens.size(); i += 2) {
    const auto hours = LampHours(tokens[i]);
    const std::string_view on = tokens[i + 1];
    if (!hours || (on != "0" && on != "1")) break;
    lamps.emplace_back(*hours, on == "1");
  }
  return lamps;
}

std::optional<std::array<int, 6>> ErrorStatus(std::string_view value) {
  if (value.size() != kErrorFields) return std::nullopt;
  std::array<int, 6> status{};
  for (size_t i = 0; i < kErrorFields; ++i) {
    if (value[i] < '0' || value[i] > '2') return std::nullopt;
    status[i] = value[i] - '0';
  }
  return status;
}

}  // namespace tarnex::pjlink
