#include "config/group_tables.h"

#include <algorithm>

#include "config/config_keys.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

std::vector<long long> ReadMemberCounts(const ProfileFile& file, int groupCount) {
  std::vector<long long> counts(static_cast<size_t>(groupCount));
  for (int g = 0; g < groupCount; ++g) {
    counts[static_cast<size_t>(g)] = std::max(0, file.Int(keys::kGroupChildCount, g));
  }
  return counts;
}

void ReadMembers(const ProfileFile& file, int count, long long firstKey, GroupRecord& group) {
  group.m_labels.resize(static_cast<size_t>(count));
  group.m_addresses.resize(static_cast<size_t>(count));
  for (int m = 0; m < count; ++m) {
    group.m_labels[static_cast<size_t>(m)] = file.Text(keys::kGroupChildName, firstKey + m);
    group.m_addresses[static_cast<size_t>(m)] = file.Text(keys::kGroupIpList, firstKey + m);
  }
}

int WrittenCount(const GroupRecord& group, int capacity) {
  return ClampCount(static_cast<long long>(group.m_labels.size()), capacity);
}

const std::string& Entry(const std::vector<std::string>& list, int at) {
  static const std::string empty;
  return static_cast<size_t>(at) < list.size() ? list[static_cast<size_t>(at)] : empty;
}

}  // namespace

int ReadGroupTables(const ProfileFile& file, GroupTables tables) {
  const int groupCount = ClampCount(file.Int(keys::kGroupCount, tables.countKey), kMaxGroups);
  const std::vector<long long> counts = ReadMemberCounts(file, groupCount);
  long long key = 0;
  for (int g = 0; g < groupCount; ++g) {
    tables.names[static_cast<size_t>(g)] = file.Text(keys::kGroupName, g);
    const long long count = counts[static_cast<size_t>(g)];
    ReadMembers(file, ClampCount(count, tables.memberCapacity), key,
                tables.groups[static_cast<size_t>(g)]);
    key += count;
  }
  for (int g = groupCount; g < kMaxGroups; ++g) tables.groups[static_cast<size_t>(g)] = {};
  return groupCount;
}

void WriteGroupTables(ProfileFile& file, int groupCount, const GroupTables& tables) {
  const int count = ClampCount(groupCount, kMaxGroups);
  file.PutInt(keys::kGroupCount, tables.countKey, count);
  for (int g = 0; g < count; ++g) {
    file.PutInt(keys::kGroupChildCount, g,
                WrittenCount(tables.groups[static_cast<size_t>(g)], tables.memberCapacity));
  }
  long long key = 0;
  for (int g = 0; g < count; ++g) {
    const GroupRecord& group = tables.groups[static_cast<size_t>(g)];
    file.Put(keys::kGroupName, g, Entry(tables.names, g));
    for (int m = 0; m < WrittenCount(group, tables.memberCapacity); ++m, ++key) {
      file.Put(keys::kGroupChildName, key, group.m_labels[static_cast<size_t>(m)]);
      file.Put(keys::kGroupIpList, key, Entry(group.m_addresses, m));
    }
  }
}

}  // namespace tarnex
