#include "scripting/target_names.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "links/ip_address.h"
#include "registry/tree_labels.h"
#include "registry/tree_selection.h"

namespace tarnex {
namespace {

struct OctetRange {
  int first = 0;
  int last = 0;
};

std::optional<int> Octet(std::string_view text) {
  int value = -1;
  if (text.empty() || text.size() > 3) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > 255) return std::nullopt;
  return value;
}

std::optional<OctetRange> RangeOf(std::string_view part) {
  if (part.size() >= 2 && part.front() == '[' && part.back() == ']') {
    const std::string_view inner = part.substr(1, part.size() - 2);
    const size_t dash = inner.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const auto first = Octet(inner.substr(0, dash));
    const auto last = Octet(inner.substr(dash + 1));
    if (!first || !last || *first > *last) return std::nullopt;
    return OctetRange{*first, *last};
  }
  const auto value = Octet(part);
  if (!value) return std::nullopt;
  return OctetRange{*value, *value};
}

// "[Lobby]10.0.0.5" is named "Lobby"; a label that is its address alone names nothing more.
std::string NameOfLabel(std::string_view label) {
  const std::string_view key = DisplayKey(label);
  std::string_view name = label.substr(0, label.size() - key.size());
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
    name = name.substr(1, name.size() - 2);
  return std::string(name);
}

std::string SetKey(int number) {
  return std::string("set ") + (number < 10 ? "0" : "") + std::to_string(number);
}

void NetworkDirectory(const CConsoleCore& core, const CConsoleCore::State& state, bool fromTree,
                      FleetDirectory& directory) {
  const COsprelNetworkManagerDoc& doc = state->Doc();
  const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
  const auto labels = fromTree ? core.SingleLabels() : std::nullopt;
  const bool treeLabels = labels && labels->size() == static_cast<size_t>(count);
  for (int row = 0; row < count; ++row) {
    const DisplayRecord& record = doc.m_docDisplays[static_cast<size_t>(row)];
    const std::string& label = treeLabels ? (*labels)[static_cast<size_t>(row)] : record.m_label;
    directory.displays.push_back({state->IdAt(row), -1, record.m_address, NameOfLabel(label)});
  }
}

// A group lists addresses; a listed address stands for every display that holds it.
std::vector<size_t> NetworkMembers(const FleetDirectory& directory,
                                   const std::vector<std::string>& keys) {
  std::vector<size_t> members;
  for (const std::string& key : keys) {
    for (size_t i = 0; i < directory.displays.size(); ++i) {
      if (directory.displays[i].key == key) members.push_back(i);
    }
  }
  return members;
}

void GroupsOf(const CConsoleCore::State& state, bool fromTree, FleetDirectory& directory) {
  const DeviceTree& tree = state->Tree();
  const COsprelNetworkManagerDoc& doc = state->Doc();
  const bool built = fromTree && tree.GroupRoot() != kNoItem;
  const int count =
      built ? tree.GroupCount()
            : std::clamp(directory.serial ? doc.m_docSerialGroupNumCount : doc.m_docGroupNumCount,
                         0, kMaxGroups);
  for (int group = 0; group < count; ++group) {
    FleetDirectory::Group entry;
    std::vector<std::string> keys;
    if (built) {
      const TreeItem item = tree.GroupItem(group);
      entry.name = tree.Model().Label(item);
      for (TreeItem member : tree.Model().Children(item))
        keys.emplace_back(tree.Model().Label(member));
    } else {
      const auto& records = directory.serial ? doc.m_docSerialGroups : doc.m_docGroups;
      if (static_cast<size_t>(group) >= records.size()) break;
      if (static_cast<size_t>(group) < doc.m_docGroupName.size() && !directory.serial)
        entry.name = doc.m_docGroupName[static_cast<size_t>(group)];
      keys = directory.serial ? records[static_cast<size_t>(group)].m_labels
                              : records[static_cast<size_t>(group)].m_addresses;
    }
    if (directory.serial) {
      for (const std::string& key : keys) {
        if (const auto number = SerialSetNumber(key))
          entry.members.push_back(static_cast<size_t>(*number));
      }
    } else {
      for (std::string& key : keys) key = std::string(DisplayKey(key));
      entry.members = NetworkMembers(directory, keys);
    }
    directory.groups.push_back(std::move(entry));
  }
}

}  // namespace

std::vector<std::string> ExpandAddressRange(std::string_view text, size_t limit) {
  std::array<OctetRange, 4> ranges;
  size_t start = 0;
  for (size_t octet = 0; octet < 4; ++octet) {
    const size_t dot = octet < 3 ? text.find('.', start) : text.size();
    if (dot == std::string_view::npos) return {};
    const auto range = RangeOf(text.substr(start, dot - start));
    if (!range) return {};
    ranges[octet] = *range;
    start = dot + 1;
  }
  size_t total = 1;
  for (const OctetRange& range : ranges) {
    total *= static_cast<size_t>(range.last - range.first + 1);
    if (total > limit) return {};
  }
  std::vector<std::string> addresses;
  for (int a = ranges[0].first; a <= ranges[0].last; ++a)
    for (int b = ranges[1].first; b <= ranges[1].last; ++b)
      for (int c = ranges[2].first; c <= ranges[2].last; ++c)
        for (int d = ranges[3].first; d <= ranges[3].last; ++d)
          addresses.push_back(std::to_string(a) + "." + std::to_string(b) + "." +
                              std::to_string(c) + "." + std::to_string(d));
  return addresses;
}

FleetDirectory DirectoryOf(const CConsoleCore& core, const CConsoleCore::State& state,
                           bool fromTree) {
  FleetDirectory directory;
  directory.serial = state->Doc().m_docCommunicationSelect == kSerialMode;
  if (directory.serial) {
    for (int number = 0; number < kSerialSetCount; ++number)
      directory.displays.push_back({kNoDisplay, number, SetKey(number), SerialSetLabel(number)});
  } else {
    NetworkDirectory(core, state, fromTree, directory);
  }
  GroupsOf(state, fromTree, directory);
  return directory;
}

namespace {

// One thing a name can stand for: a display (by its position) or a group.
struct Thing {
  bool group = false;
  size_t index = 0;
  std::string shown;  // how the ambiguity lists it
};

void AppendDisplay(const FleetDirectory& directory, size_t index, ResolvedTargets& out) {
  const FleetDirectory::Display& display = directory.displays[index];
  out.targets.push_back({display.id, display.setNumber, display.key, display.name});
}

// The display an address selects is the last entry that holds it, as the tree resolves it.
std::optional<size_t> DisplayByKey(const FleetDirectory& directory, std::string_view key) {
  std::optional<size_t> found;
  for (size_t i = 0; i < directory.displays.size(); ++i) {
    if (directory.displays[i].key == key) found = i;
  }
  return found;
}

std::vector<Thing> Named(const FleetDirectory& directory, std::string_view name) {
  std::vector<Thing> things;
  for (size_t i = 0; i < directory.displays.size(); ++i) {
    if (!name.empty() && directory.displays[i].name == name)
      things.push_back(
          {false, i,
           "name:" + directory.displays[i].name + " (" + directory.displays[i].key + ")"});
  }
  return things;
}

std::vector<Thing> GroupsNamed(const FleetDirectory& directory, std::string_view name) {
  std::vector<Thing> things;
  for (size_t i = 0; i < directory.groups.size(); ++i) {
    if (directory.groups[i].name == name)
      things.push_back({true, i, "group:" + directory.groups[i].name});
  }
  return things;
}

std::optional<size_t> SetNamed(const FleetDirectory& directory, std::string_view text) {
  int number = -1;
  if (!directory.serial || text.empty() || text.size() > 2) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number < 0 ||
      number >= static_cast<int>(directory.displays.size()))
    return std::nullopt;
  return static_cast<size_t>(number);
}

void AppendThing(const FleetDirectory& directory, const Thing& thing, ResolvedTargets& out) {
  if (!thing.group) return AppendDisplay(directory, thing.index, out);
  for (size_t member : directory.groups[thing.index].members) AppendDisplay(directory, member, out);
}

// Exactly one thing, or the name is reported as not found or ambiguous.
void AppendOne(const FleetDirectory& directory, const std::string& name,
               const std::vector<Thing>& things, ResolvedTargets& out) {
  if (things.empty()) return out.notFound.push_back(name);
  if (things.size() == 1) return AppendThing(directory, things.front(), out);
  std::string listed = name + ":";
  for (const Thing& thing : things) listed += " " + thing.shown;
  out.ambiguous.push_back(std::move(listed));
}

void ResolveAddresses(const FleetDirectory& directory, const std::string& name,
                      std::string_view text, ResolvedTargets& out) {
  const std::vector<std::string> addresses = ExpandAddressRange(text);
  if (addresses.empty()) return out.malformed.push_back(name);
  for (const std::string& address : addresses) {
    const auto found = directory.serial ? std::nullopt : DisplayByKey(directory, address);
    if (found) {
      AppendDisplay(directory, *found, out);
    } else {
      out.notFound.push_back("display:" + address);
    }
  }
}

void ResolveBare(const FleetDirectory& directory, const std::string& name, ResolvedTargets& out) {
  std::vector<Thing> things;
  if (const auto display = directory.serial ? std::nullopt : DisplayByKey(directory, name))
    things.push_back({false, *display, "display:" + name});
  if (const auto set = SetNamed(directory, name)) things.push_back({false, *set, "set:" + name});
  for (Thing& thing : Named(directory, name)) {
    const bool same = std::any_of(things.begin(), things.end(), [&](const Thing& known) {
      return !known.group && known.index == thing.index;
    });
    if (!same) things.push_back(std::move(thing));
  }
  for (Thing& thing : GroupsNamed(directory, name)) things.push_back(std::move(thing));
  AppendOne(directory, name, things, out);
}

}  // namespace

ResolvedTargets TargetFromNames(const FleetDirectory& directory,
                                const std::vector<std::string>& names) {
  ResolvedTargets out;
  for (const std::string& name : names) {
    const size_t colon = name.find(':');
    const std::string_view kind =
        colon == std::string::npos ? std::string_view() : std::string_view(name).substr(0, colon);
    const std::string_view rest =
        colon == std::string::npos ? std::string_view() : std::string_view(name).substr(colon + 1);
    if (kind == "display") {
      ResolveAddresses(directory, name, rest, out);
    } else if (kind == "name") {
      AppendOne(directory, name, Named(directory, rest), out);
    } else if (kind == "group") {
      AppendOne(directory, name, GroupsNamed(directory, rest), out);
    } else if (kind == "set") {
      const auto set = SetNamed(directory, rest);
      if (set) {
        AppendDisplay(directory, *set, out);
      } else if (directory.serial) {
        out.malformed.push_back(name);
      } else {
        out.notFound.push_back(name);
      }
    } else {
      ResolveBare(directory, name, out);
    }
    if (out.targets.size() > kMaxResolvedTargets) {
      out.malformed.push_back("more than " + std::to_string(kMaxResolvedTargets) + " displays");
      break;
    }
  }
  return out;
}

}  // namespace tarnex
