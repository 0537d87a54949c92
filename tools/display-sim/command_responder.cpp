#include "display-sim/command_responder.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <vector>

#include "display-sim/command_line_parser.h"
#include "display-sim/setting_catalogue.h"
#include "protocol/command_catalogue.h"

namespace tarnex::sim {
namespace {

constexpr std::string_view kQueryField = "ff";

std::string Reply(char letter, std::string_view setId, std::string_view data) {
  std::string reply(1, letter);
  reply.append(" ").append(setId).append(" OK").append(data).append("x");
  return reply;
}

bool IsQuery(std::span<const std::string> values) {
  return std::all_of(values.begin(), values.end(),
                     [](const std::string& v) { return v == kQueryField; });
}

// The values as the display keeps them: zero-padded lowercase bytes, concatenated. A setting
// sent with two fields that keeps one byte keeps the last.
std::optional<std::string> NormaliseValues(const SettingInfo& setting,
                                           std::span<const std::string> values) {
  if (setting.keepsLastOnly) values = values.last(1);
  std::string data;
  for (const std::string& field : values) {
    const auto number = ParseHexField(field);
    if (!number) return std::nullopt;
    const std::string byte = HexByte(*number);
    if (!AcceptsValue(setting, byte)) return std::nullopt;
    data += byte;
  }
  return data;
}

std::optional<int> TableIndex(const SettingInfo& setting, const std::vector<std::string>& fields) {
  if (setting.tableSize == 0) return -1;
  const auto index = ParseHexField(fields.front());
  if (!index || *index >= setting.tableSize) return std::nullopt;
  return index;
}

// The reply data for a command of a known setting, or nullopt when it is refused.
std::optional<std::string> Handle(DisplayState& state, const SettingInfo& setting,
                                  const std::vector<std::string>& fields) {
  const size_t indexFields = setting.tableSize > 0 ? 1 : 0;
  if (fields.size() != indexFields + static_cast<size_t>(setting.valueFields)) return std::nullopt;
  const auto index = TableIndex(setting, fields);
  if (!index) return std::nullopt;
  const std::span<const std::string> values(fields.begin() + indexFields, fields.end());
  const std::string key = SettingKey(setting.letters, *index);
  const std::string lead = *index >= 0 ? HexByte(*index) : std::string();
  if (IsQuery(values)) {
    if (setting.access == Access::kAction) return std::nullopt;
    return lead + state.Value(key);
  }
  if (setting.access == Access::kReadOnly) return std::nullopt;
  auto data = NormaliseValues(setting, values);
  if (!data) return std::nullopt;
  if (setting.access == Access::kReadWrite) state.Store(key, *data);
  return lead + *data;
}

}  // namespace

CommandResponder::CommandResponder(DisplayState& state, std::string replySetId)
    : state_(state), replySetId_(std::move(replySetId)) {}

std::optional<std::string> CommandResponder::Answer(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (line.empty() || line == "\r") return std::nullopt;
  const auto command = ParseCommandLine(line);
  if (!command) return Refusal(line);
  const std::string& setId = replySetId_.empty() ? command->setId : replySetId_;
  std::optional<std::string> data;
  if (command->letters == protocol::letters::kMessage) {
    data = state_.Message().Apply(command->fields);
  } else if (const SettingInfo* setting = FindSetting(command->letters)) {
    data = Handle(state_, *setting, command->fields);
  }
  return data ? Reply(command->letters[1], setId, *data) : Refusal(line);
}

std::string CommandResponder::Refusal(std::string_view line) const {
  const bool printable = line.size() > 1 && std::isgraph(static_cast<unsigned char>(line[1]));
  const char letter = printable ? line[1] : '?';
  std::string setId = replySetId_;
  if (setId.empty()) {
    const bool hasSetId = line.size() >= 5 && ParseHexField(line.substr(3, 2)) && line[3] != ' ';
    setId = hasSetId ? std::string(line.substr(3, 2)) : "00";
  }
  return std::string(1, letter) + " " + setId + " NGx";
}

}  // namespace tarnex::sim
