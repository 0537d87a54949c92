#include <sys/stat.h>

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

std::string COsprelNetworkManagerDoc::PjlinkPasswordsPath() const {
  return m_docConfigFolder + keys::kPjlinkPasswordsFile;
}

void COsprelNetworkManagerDoc::ReadPjlinkPasswordFile() {
  const std::string path = PjlinkPasswordsPath();
  std::string problem;
  m_docPjlinkPasswords = ReadPjlinkPasswords(path, &problem);
  m_pjlinkPasswordsRead = problem.empty();
  if (!problem.empty() && Writable(path)) m_unreadable.push_back(path);
}

// No file is made for a fleet that never had a password; one that had them is rewritten even
// when emptied, so that a removed password does not come back.
bool COsprelNetworkManagerDoc::WritePjlinkPasswordFile() {
  const std::string path = PjlinkPasswordsPath();
  if (!Writable(path)) return Written(false, path);
  if (!m_pjlinkPasswordsRead) return true;
  struct stat entry {};
  if (m_docPjlinkPasswords.empty() && ::lstat(path.c_str(), &entry) != 0) return true;
  return Written(WritePjlinkPasswords(path, m_docPjlinkPasswords), path);
}

void COsprelNetworkManagerDoc::ReadNetworkConfig(const ProfileFile& file) {
  m_docSocketNumber = ClampCount(file.Int(keys::kValue, keys::kSocketNumber), kMaxDisplays);
  m_docGroupNumCount = ReadGroupTables(
      file, {keys::kGroupNumCount, kMaxNetworkMembers, m_docGroupName, m_docGroups});
  for (int i = 0; i < m_docSocketNumber; ++i) {
    ReadDisplayRecord(file, i, m_docDisplays[static_cast<size_t>(i)]);
  }
  ReadLinkKinds(file, m_docDisplays, m_docSocketNumber);
  ReadPjlinkPasswordFile();
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
  const bool passwords = WritePjlinkPasswordFile();
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
  WriteLinkKinds(file, m_docDisplays, displays);
  WriteGroupTables(file, m_docGroupNumCount,
                   {keys::kGroupNumCount, kMaxNetworkMembers, m_docGroupName, m_docGroups});
  WriteScheduleTable(file, m_docSchedules);
  return Written(file.Save(), path) && alarm && passwords;
}

}  // namespace tarnex
