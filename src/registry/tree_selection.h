#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/tree_observer.h"

namespace tarnex {

class DeviceTree;

enum class TargetKind : std::uint8_t {
  kNone,          // nothing, a root, a stale handle, or a serial label without a set number
  kDisplay,       // network: a child of "Single"
  kGroupMember,   // network: a member item
  kNetworkGroup,  // network: a group item
  kSerialSet,     // serial: a set-ID item or a member, both addressing one set ID
  kSerialRange,   // serial: a range item, which addresses nothing
  kSerialGroup,   // serial: a group item
};

// What a selected item designates. Items carry no record, so everything is derived from
// labels and positions; the caller resolves keys against the display table.
struct Designation {
  TargetKind kind = TargetKind::kNone;
  // kDisplay, kGroupMember: the display's address. kSerialSet: "PJTR k".
  std::string key;
  // kSerialSet: the set number and its two-digit set ID ("0f" for 15).
  int serialId = -1;
  std::string setId;
  // Groups: the group's number, which is the item's position under "Group" (serial groups
  // may share a name, so the name cannot tell them apart), and the keys of all its members in
  // order. There is no fixed-size list here: a group of any size the
  // tree accepts is designated whole, so a command to the group reaches every member.
  int groupNumber = -1;
  std::vector<std::string> memberKeys;

  // A usable target: a display, a member or set ID, or a group with at least one member.
  bool IsTarget() const;
};

Designation Designate(const DeviceTree& tree, TreeItem item);

// The display an address selects: the last table index carrying it, as the console has
// always resolved duplicates. None when no entry carries it.
std::optional<int> LastDisplayIndex(std::span<const std::string> addresses, std::string_view key);

}  // namespace tarnex
