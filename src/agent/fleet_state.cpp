#include "agent/fleet_state.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "agent/agent_topics.h"
#include "scripting/target_names.h"

namespace tarnex::agent {
namespace {

using nlohmann::json;

constexpr size_t kMaxWordChars = 32;
constexpr size_t kMaxLabelChars = 256;
constexpr size_t kMaxFleetBytes = 4 * 1024 * 1024;
constexpr size_t kMaxFleetDisplays = 10000;

json WordOrNull(const std::string& word) {
  return word.empty() ? json(nullptr) : json(word);
}

json NumberOrNull(const std::optional<long long>& number) {
  return number ? json(*number) : json(nullptr);
}

// A string field of at most `limit` characters; a null is empty. False for anything else.
bool ReadWord(const json& object, const char* key, size_t limit, std::string& out) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return true;
  if (!found->is_string() || found->get_ref<const std::string&>().size() > limit) return false;
  out = found->get<std::string>();
  return true;
}

bool ReadCount(const json& object, const char* key, std::optional<long long>& out) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return true;
  if (!found->is_number_integer()) return false;
  out = found->get<long long>();
  return true;
}

std::optional<json> ParseBounded(std::string_view text, size_t limit) {
  if (text.size() > limit || !JsonDepthWithin(text, kMaxJsonDepth)) return std::nullopt;
  json parsed = json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
  return parsed;
}

bool OneOf(const std::string& word, std::initializer_list<std::string_view> known) {
  return word.empty() || std::find(known.begin(), known.end(), word) != known.end();
}

// The words a state may hold: a reader shows them and matches them to its own lists.
bool KnownWords(const DisplayState& state) {
  return !state.link.empty() && OneOf(state.link, {"up", "down", "busy", "auth_failed"}) &&
         OneOf(state.power, {"on", "off"}) && OneOf(state.mute, {"on", "off"}) &&
         OneOf(state.fan, {"ok", "fault"}) && (state.input.empty() || IsInputName(state.input));
}

std::string KindWord(const CConsoleCore::State& state, DisplayId id) {
  return state->KindOf(id) == LinkKind::kPjlink ? "pjlink" : "native";
}

}  // namespace

std::string StateJson(const DisplayState& state) {
  json out = {{"link", state.link},
              {"power", WordOrNull(state.power)},
              {"input", WordOrNull(state.input)},
              {"mute", WordOrNull(state.mute)},
              {"fan", WordOrNull(state.fan)},
              {"lamp_hours", {NumberOrNull(state.lampHours1), NumberOrNull(state.lampHours2)}},
              {"read_at", state.readAt == 0 ? json(nullptr) : json(state.readAt)}};
  return out.dump();
}

std::optional<DisplayState> StateFromJson(std::string_view text) {
  const auto parsed = ParseBounded(text, kMaxPayloadBytes);
  if (!parsed) return std::nullopt;
  DisplayState state;
  state.link.clear();
  bool sound = ReadWord(*parsed, "link", kMaxWordChars, state.link) &&
               ReadWord(*parsed, "power", kMaxWordChars, state.power) &&
               ReadWord(*parsed, "input", kMaxWordChars, state.input) &&
               ReadWord(*parsed, "mute", kMaxWordChars, state.mute) &&
               ReadWord(*parsed, "fan", kMaxWordChars, state.fan);
  if (!sound || !KnownWords(state)) return std::nullopt;
  if (const auto lamps = parsed->find("lamp_hours"); lamps != parsed->end()) {
    if (!lamps->is_array() || lamps->size() != 2) return std::nullopt;
    json pair = {{"1", (*lamps)[0]}, {"2", (*lamps)[1]}};
    if (!ReadCount(pair, "1", state.lampHours1) || !ReadCount(pair, "2", state.lampHours2))
      return std::nullopt;
  }
  std::optional<long long> readAt;
  if (!ReadCount(*parsed, "read_at", readAt)) return std::nullopt;
  state.readAt = static_cast<std::time_t>(readAt.value_or(0));
  return state;
}

std::string FleetJson(const FleetView& fleet) {
  json displays = json::array();
  for (const auto& display : fleet.displays) {
    displays.push_back({{"key", display.key},
                        {"label", display.label},
                        {"kind", display.kind},
                        {"mac", WordOrNull(display.mac)}});
  }
  json groups = json::array();
  for (const auto& group : fleet.groups) {
    groups.push_back({{"name", group.name}, {"members", group.members}});
  }
  return json{{"displays", displays}, {"groups", groups}}.dump();
}

std::optional<FleetView> FleetFromJson(std::string_view text) {
  const auto parsed = ParseBounded(text, kMaxFleetBytes);
  if (!parsed) return std::nullopt;
  const auto displays = parsed->find("displays");
  const auto groups = parsed->find("groups");
  if (displays == parsed->end() || !displays->is_array() || groups == parsed->end() ||
      !groups->is_array() || displays->size() > kMaxFleetDisplays)
    return std::nullopt;
  FleetView fleet;
  for (const json& item : *displays) {
    FleetView::Display display;
    if (!item.is_object() || !ReadWord(item, "key", kMaxWordChars, display.key) ||
        !ReadWord(item, "label", kMaxLabelChars, display.label) ||
        !ReadWord(item, "kind", kMaxWordChars, display.kind) ||
        !ReadWord(item, "mac", kMaxWordChars, display.mac) || !IsDisplayKey(display.key))
      return std::nullopt;
    fleet.displays.push_back(std::move(display));
  }
  for (const json& item : *groups) {
    FleetView::Group group;
    const auto members = item.is_object() ? item.find("members") : item.end();
    if (!item.is_object() || !ReadWord(item, "name", kMaxLabelChars, group.name) ||
        members == item.end() || !members->is_array() || members->size() > kMaxFleetDisplays)
      return std::nullopt;
    for (const json& member : *members) {
      if (!member.is_string() || !IsDisplayKey(member.get_ref<const std::string&>()))
        return std::nullopt;
      group.members.push_back(member.get<std::string>());
    }
    fleet.groups.push_back(std::move(group));
  }
  return fleet;
}

FleetView FleetOf(const CConsoleCore& core, const CConsoleCore::State& state) {
  const FleetDirectory directory = DirectoryOf(core, state, true);
  FleetView fleet;
  for (const auto& entry : directory.displays) {
    FleetView::Display display{.key = entry.key,
                               .label = entry.name,
                               .kind = "serial",
                               .mac = {},
                               .id = entry.id,
                               .setNumber = entry.setNumber};
    if (directory.serial) {
      display.key = SerialKey(entry.setNumber);
    } else {
      display.kind = KindWord(state, entry.id);
      const int row = state->RowOf(entry.id);
      if (row >= 0) display.mac = state->Doc().m_docDisplays[static_cast<size_t>(row)].m_compactMac;
    }
    fleet.displays.push_back(std::move(display));
  }
  for (const auto& entry : directory.groups) {
    FleetView::Group group{.name = entry.name, .members = {}};
    for (size_t member : entry.members) group.members.push_back(fleet.displays[member].key);
    fleet.groups.push_back(std::move(group));
  }
  return fleet;
}

std::vector<std::string> LinkWordsOf(const CConsoleCore::State& state, const FleetView& fleet) {
  std::vector<std::string> words;
  words.reserve(fleet.displays.size());
  for (const auto& display : fleet.displays) {
    if (display.setNumber >= 0) {
      const bool open =
          state->Doc().m_docSerialConnectState[static_cast<size_t>(display.setNumber)] == 1;
      words.emplace_back(open ? "up" : "down");
      continue;
    }
    const int row = state->RowOf(display.id);
    const DisplayFacts* facts = state->FactsOf(display.id);
    if (facts != nullptr && facts->pjlink.authFailed) {
      words.emplace_back("auth_failed");
    } else if (row < 0 || state->Doc().m_docConnectState[static_cast<size_t>(row)] != 1) {
      words.emplace_back("down");
    } else if (facts != nullptr && facts->pjlink.desiredPower) {
      words.emplace_back("busy");
    } else {
      words.emplace_back("up");
    }
  }
  return words;
}

void StateBook::Merge(const std::string& key, const DisplayState& found) {
  std::lock_guard lock(m_mutex);
  DisplayState& known = m_states[key];
  const auto keep = [](std::string& into, const std::string& from) {
    if (!from.empty()) into = from;
  };
  keep(known.power, found.power);
  keep(known.input, found.input);
  keep(known.mute, found.mute);
  keep(known.fan, found.fan);
  if (found.lampHours1) known.lampHours1 = found.lampHours1;
  if (found.lampHours2) known.lampHours2 = found.lampHours2;
  if (found.readAt != 0) known.readAt = found.readAt;
}

void StateBook::Forget(const std::string& key) {
  std::lock_guard lock(m_mutex);
  m_states.erase(key);
}

DisplayState StateBook::Get(const std::string& key) const {
  std::lock_guard lock(m_mutex);
  const auto found = m_states.find(key);
  return found != m_states.end() ? found->second : DisplayState{};
}

}  // namespace tarnex::agent
