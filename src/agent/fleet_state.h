#pragma once

#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/console_core.h"

namespace tarnex::agent {

// What the agent last knew of one display, as its state topic carries it. An empty word is
// not known (never read, or the display did not say).
struct DisplayState {
  std::string link = "down";  // up, down, busy, auth_failed
  std::string power;          // on, off
  std::string input;          // av, component1, ... hdmi3
  std::string mute;           // on, off
  std::string fan;            // ok, fault
  std::optional<long long> lampHours1;
  std::optional<long long> lampHours2;
  std::time_t readAt = 0;  // the last pass that read it; 0 never

  bool operator==(const DisplayState&) const = default;
};

std::string StateJson(const DisplayState& state);
// Bounded and checked field by field; none for anything that is not such a document.
std::optional<DisplayState> StateFromJson(std::string_view text);

// The fleet as its retained topic carries it: displays by key, groups by their members' keys.
struct FleetView {
  struct Display {
    std::string key;
    std::string label;
    std::string kind;           // native, pjlink, serial
    std::string mac;            // twelve hex digits when known
    DisplayId id = kNoDisplay;  // not published: the agent's own handle
    int setNumber = -1;         // not published
    bool operator==(const Display&) const = default;
  };
  struct Group {
    std::string name;
    std::vector<std::string> members;
    bool operator==(const Group&) const = default;
  };
  std::vector<Display> displays;
  std::vector<Group> groups;
  bool operator==(const FleetView&) const = default;
};

std::string FleetJson(const FleetView& fleet);
std::optional<FleetView> FleetFromJson(std::string_view text);

// The fleet as the tree stands (names as the operator sees them). Lock held.
FleetView FleetOf(const CConsoleCore& core, const CConsoleCore::State& state);
// The link word of each display of `fleet`, as the core knows it now. Lock held.
std::vector<std::string> LinkWordsOf(const CConsoleCore::State& state, const FleetView& fleet);

// The values the state pass and the commands found, by key. Its own mutex: the passes, the
// command workers and the publisher reach it side by side, never under the console lock.
class StateBook {
 public:
  // A pass or a command found these; words left empty keep what was known.
  void Merge(const std::string& key, const DisplayState& found);
  // The display left the fleet.
  void Forget(const std::string& key);
  DisplayState Get(const std::string& key) const;

 private:
  mutable std::mutex m_mutex;
  std::map<std::string, DisplayState> m_states;
};

}  // namespace tarnex::agent
