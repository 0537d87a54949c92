#include "protocol/pjlink_map.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "protocol/command_frame.h"

namespace tarnex::pjlink {
namespace {

struct InputPair {
  std::string_view native;
  std::string_view pjlink;
};
// Video is PJLink's "Video 1", component "Video 2" and "3", the two RGB inputs "RGB 1" and
// "2", each HDMI input a digital one.
constexpr std::array<InputPair, 8> kInputs = {{
    {"20", "21"},
    {"40", "22"},
    {"41", "23"},
    {"60", "11"},
    {"61", "12"},
    {"90", "31"},
    {"91", "32"},
    {"92", "33"},
}};

struct Mapping {
  std::string_view letters;
  std::string_view data;  // empty: any data
  std::string_view command;
  std::string_view parameter;  // empty: from the data
};
constexpr std::array<Mapping, 13> kMappings = {{
    {"ka", "01", "POWR", "1"},
    {"ka", "00", "POWR", "0"},
    {"ka", "ff", "POWR", "?"},
    {"xb", "ff", "INPT", "?"},
    {"xb", "", "INPT", ""},
    {"kd", "01", "AVMT", "11"},
    {"kd", "00", "AVMT", "10"},
    {"kd", "ff", "AVMT", "?"},
    {"nt", "ff", "ERST", "?"},
    {"nb", "ff", "LAMP", "?"},
    {"nc", "ff", "LAMP", "?"},
    {"nd", "ff", "LAMP", "?"},
    {"ne", "ff", "LAMP", "?"},
}};

std::optional<Request> RawRequest(std::string_view frame) {
  if (frame.size() < 7 || frame.substr(0, 2) != "%1" || frame.back() != '\r') return std::nullopt;
  const std::string_view body = frame.substr(2, frame.size() - 3);
  if (body.size() < 6 || body[4] != ' ') return std::nullopt;
  const std::string parameter(body.substr(5));
  if (Frame(body.substr(0, 4), parameter).empty()) return std::nullopt;
  std::string command(body.substr(0, 4));
  std::transform(command.begin(), command.end(), command.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return Request{.command = std::move(command),
                 .parameter = parameter,
                 .query = parameter == "?",
                 .raw = true,
                 .native = {}};
}

// "a 01 OK01x": the native reply letter is the command's second letter.
std::string NativeAck(std::string_view native, std::string_view data) {
  return std::string(1, native[1]) + " 01 OK" + std::string(data) + "x";
}

std::string HexByte(long value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02x", static_cast<unsigned>(value & 0xff));
  return text;
}

std::optional<std::string> LampReply(std::string_view native, std::string_view value) {
  const auto lamps = LampsOf(value);
  const size_t lamp = (native[0] == 'n' && (native[1] == 'd' || native[1] == 'e')) ? 1 : 0;
  if (lamp >= lamps.size()) return std::nullopt;
  const long hours = std::clamp(lamps[lamp].first, 0L, 0xffffL);
  const bool high = native[1] == 'b' || native[1] == 'd';
  return NativeAck(native, HexByte(high ? hours >> 8 : hours));
}

std::optional<std::string> QueryReply(const Request& request, std::string_view value) {
  const std::string_view native = request.native;
  if (request.command == "POWR") {
    const auto word = PowerWord(value);
    if (!word) return std::nullopt;
    // Warming up is on its way on, cooling down on its way off.
    const bool on = *word == "On" || *word == "Warm-up";
    return NativeAck(native, on ? "01" : "00");
  }
  if (request.command == "INPT") {
    const std::string_view code = NativeInputOf(value);
    if (code.empty()) return std::nullopt;
    return NativeAck(native, code);
  }
  if (request.command == "AVMT") {
    const auto muted = ScreenMuted(value);
    if (!muted) return std::nullopt;
    return NativeAck(native, *muted ? "01" : "00");
  }
  if (request.command == "ERST") {
    const auto errors = ErrorStatus(value);
    if (!errors) return std::nullopt;
    return NativeAck(native, (*errors)[0] == 0 ? "01" : "00");
  }
  if (request.command == "LAMP") return LampReply(native, value);
  return std::nullopt;
}

}  // namespace

std::string_view PjlinkInputOf(std::string_view nativeCode) {
  for (const auto& pair : kInputs) {
    if (pair.native == nativeCode) return pair.pjlink;
  }
  return {};
}

std::string_view NativeInputOf(std::string_view pjlinkCode) {
  for (const auto& pair : kInputs) {
    if (pair.pjlink == pjlinkCode) return pair.native;
  }
  return {};
}

std::optional<Request> RequestFor(std::string_view command) {
  if (command.starts_with("%1")) return RawRequest(command);
  // "ka 01 01\n": two letters, the set ID, two characters of data.
  if (command.size() != 9 || command[2] != ' ' || command[5] != ' ' || command[8] != '\n') {
    return std::nullopt;
  }
  const std::string_view letters = command.substr(0, 2);
  const std::string_view data = command.substr(6, 2);
  for (const Mapping& mapping : kMappings) {
    if (mapping.letters != letters || (!mapping.data.empty() && mapping.data != data)) continue;
    std::string parameter(mapping.parameter.empty() ? PjlinkInputOf(data) : mapping.parameter);
    if (parameter.empty()) return std::nullopt;
    return Request{.command = std::string(mapping.command),
                   .parameter = parameter,
                   .query = parameter == "?",
                   .raw = false,
                   .native = std::string(command)};
  }
  return std::nullopt;
}

std::optional<std::string> NativeReplyFor(const Request& request, const Reply& reply) {
  if (request.raw) {
    if (reply.kind == ReplyKind::kOk && !request.query) return std::string("OK");
    if (reply.kind == ReplyKind::kValue) return reply.value;
    return std::nullopt;
  }
  if (reply.kind == ReplyKind::kOk && !request.query) {
    return NativeAck(request.native, request.native.substr(6, 2));
  }
  if (reply.kind == ReplyKind::kValue && request.query) return QueryReply(request, reply.value);
  return std::nullopt;
}

}  // namespace tarnex::pjlink
