#pragma once

#include <string>
#include <vector>

#include "config/profile_file.h"
#include "registry/display_record.h"

namespace tarnex {

// The group tables as both configuration files store them: the group count under
// "GROUPCOUNT", one member count per group, the names, and the members' labels and addresses
// under one running key that counts over all members of all groups.
struct GroupTables {
  const char* countKey;  // "m_docGroupNumCount" or "m_docSerialGroupNumCount"
  int memberCapacity;    // per group
  std::vector<std::string>& names;
  std::vector<GroupRecord>& groups;
};

// Reads the tables and returns the group count. Counts in the file that are negative or past
// a capacity are clamped, but the running key still advances by the count the file gives, so
// the groups after an oversized one read their own members.
int ReadGroupTables(const ProfileFile& file, GroupTables tables);

void WriteGroupTables(ProfileFile& file, int groupCount, const GroupTables& tables);

inline int ClampCount(long long count, int capacity) {
  return count < 0 ? 0 : (count > capacity ? capacity : static_cast<int>(count));
}

}  // namespace tarnex
