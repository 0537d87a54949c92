#include "config/config_keys.h"
#include "config/display_table.h"
#include "config/group_tables.h"
#include "config/network_manager_doc.h"
#include "config/profile_file.h"
#include "config/schedule_entry.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

}  // namespace

void COsprelNetworkManagerDoc::ReadNetworkConfig(const ProfileFile& file) {
  m_docSocketNumber = ClampCount(file.Int(keys::kValue, keys::kSocketNumber), kMaxDisplays);
  m_docGroupNumCount = ReadGroupTables(
      file, {keys::kGroupNumCount, kMaxNetworkMembers, m_docGroupName, m_docGroups});
  for (int i = 0; i < m_docSocketNumber; ++i) {
    ReadDisplayRecord(file, i, m_docDisplays[static_cast<size_t>(i)]);
  }
}

// In serial mode the network file keeps the schedules, and only them are written there.
bool COsprelNetworkManagerDoc::WriteNetworkSchedules() {
  const std::string path = NetworkConfigPath();
  ProfileFile file(path);
  WriteScheduleTable(file, m_docSchedules);
  return Written(file.Save(), path);
}

bool COsprelNetworkManagerDoc::WriteNetworkConfig() {
  const bool alarm = WriteAlarmSettings();
  CopyLabelsBack(true);
  const std::string path = NetworkConfigPath();
  if (!Writable(path)) return Written(false, path);
  ProfileFile file(path);
  file.PutInt(keys::kCommunication, keys::kCommunicationTrue, m_docCommunicationTrue);
  file.PutInt(keys::kCommunication, keys::kCommunicationSelect, m_docCommunicationSelect);
  const int displays = ClampCount(m_docSocketNumber, kMaxDisplays);
  file.PutInt(keys::kValue, keys::kSocketNumber, displays);
  for (int i = 0; i < displays; ++i) {
    WriteDisplayRecord(file, i, m_docDisplays[static_cast<size_t>(i)]);
  }
  WriteGroupTables(file, m_docGroupNumCount,
                   {keys::kGroupNumCount, kMaxNetworkMembers, m_docGroupName, m_docGroups});
  WriteScheduleTable(file, m_docSchedules);
  return Written(file.Save(), path) && alarm;
}

}  // namespace tarnex
