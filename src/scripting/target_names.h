#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "console/console_core.h"
#include "links/link_state.h"

namespace tarnex {

// What names can name: the displays and groups as they stand when a request is accepted.
struct FleetDirectory {
  struct Display {
    DisplayId id = kNoDisplay;  // network
    int setNumber = -1;         // serial
    std::string key;            // the address, or "set 05"
    std::string name;           // the operator's name for it, empty when it has none
  };
  struct Group {
    std::string name;
    // The members in member order, as positions into `displays`; a listing that no display
    // stands for is left out, as a selection of the group leaves it out.
    std::vector<size_t> members;
  };
  bool serial = false;
  std::vector<Display> displays;
  std::vector<Group> groups;
};

// The directory under the console lock: from the device tree (what the operator sees, renames
// included) in the console, from the configuration tables in a run that builds no tree.
FleetDirectory DirectoryOf(const CConsoleCore& core, const CConsoleCore::State& state,
                           bool fromTree);

// A display a request names, resolved once: a job reaches it by its id (or set number) and
// nothing else, whatever the operator selects, renames or deletes meanwhile.
struct NamedTarget {
  DisplayId id = kNoDisplay;
  int setNumber = -1;
  std::string key;
  std::string name;
};

// A request reaches at most this many displays, a group's members counted each.
inline constexpr size_t kMaxResolvedTargets = 100000;

struct ResolvedTargets {
  std::vector<NamedTarget> targets;  // in the order named; a group's members in member order
  std::vector<std::string> notFound;
  // A bare word that names more than one thing, with what it names ("Lobby: group:Lobby,
  // name:Lobby").
  std::vector<std::string> ambiguous;
  // A malformed name or range.
  std::vector<std::string> malformed;
};

// display:ADDR (a range "10.0.0.[20-29]" in any octet, at most 1000 addresses), name:LABEL,
// group:NAME, set:N, or a bare word that names exactly one of these.
ResolvedTargets TargetFromNames(const FleetDirectory& directory,
                                const std::vector<std::string>& names);

// The addresses of a range such as "10.0.0.[20-29]"; empty when malformed or above `limit`.
std::vector<std::string> ExpandAddressRange(std::string_view text, size_t limit = 1000);

}  // namespace tarnex
