#pragma once

#include <array>
#include <string>
#include <vector>

#include "links/link_state.h"

namespace tarnex {

inline constexpr int kMaxGroups = 300;
inline constexpr int kMaxGroupNames = 1000;
inline constexpr int kMaxNetworkMembers = 1000;
inline constexpr int kMaxSerialMembers = 100;

// Four octets of an IP setting, each as the decimal text it is stored as.
using OctetTexts = std::array<std::string, 4>;

// One single network display: what discovery found and what the operator named it.
struct DisplayRecord {
  std::string m_address;     // "%d.%d.%d.%d", the display's key
  std::string m_label;       // its label in the device tree
  std::string m_compactMac;  // six upper-case hex bytes, no separators
  std::string m_displayMac;  // the same joined by " - "
  std::string m_ipMode;      // stored and restored, used by nothing
  OctetTexts m_ipAddress;
  OctetTexts m_subnetMask;
  OctetTexts m_gateway;
  OctetTexts m_primaryDns;
  OctetTexts m_secondaryDns;
  LinkKind m_linkKind = LinkKind::kNative;  // in the record so that it moves with its row

  bool operator==(const DisplayRecord&) const = default;
};

// The members of one group, by position. Network groups keep member addresses; serial
// groups keep member IDs (the label of the set-ID item) in the same place.
struct GroupRecord {
  std::vector<std::string> m_labels;
  std::vector<std::string> m_addresses;

  bool operator==(const GroupRecord&) const = default;
};

}  // namespace tarnex
