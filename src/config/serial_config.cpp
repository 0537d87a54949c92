#include "config/config_keys.h"
#include "config/group_tables.h"
#include "config/network_manager_doc.h"
#include "config/profile_file.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

}  // namespace

void COsprelNetworkManagerDoc::ReadSerialConfig(const ProfileFile& file) {
  m_docPortStr = file.Text(keys::kSerialSetting, keys::kPortStr);
  m_docBaudrate = file.Int(keys::kSerialSetting, keys::kBaudrate);
  m_docData = file.Int(keys::kSerialSetting, keys::kData);
  m_docStop = file.Int(keys::kSerialSetting, keys::kStop);
  m_docParity = file.Int(keys::kSerialSetting, keys::kParity);
  m_docPortInt = file.Int(keys::kSerialSetting, keys::kPortInt);
  m_docBaudrateInt = file.Int(keys::kSerialSetting, keys::kBaudrateInt);
  m_docDataInt = file.Int(keys::kSerialSetting, keys::kDataInt);
  m_docStopInt = file.Int(keys::kSerialSetting, keys::kStopInt);
  m_docParityInt = file.Int(keys::kSerialSetting, keys::kParityInt);
  m_docSerialGroupNumCount = ReadGroupTables(
      file, {keys::kSerialGroupNumCount, kMaxSerialMembers, m_docGroupName, m_docSerialGroups});
}

bool COsprelNetworkManagerDoc::WriteSerialConfig() {
  const bool alarm = WriteAlarmSettings();
  CopyLabelsBack(false);
  const std::string path = SerialConfigPath();
  if (!Writable(path)) return Written(false, path);
  ProfileFile file(path);
  file.PutInt(keys::kCommunication, keys::kCommunicationTrue, m_docCommunicationTrue);
  file.PutInt(keys::kCommunication, keys::kCommunicationSelect, m_docCommunicationSelect);
  file.Put(keys::kSerialSetting, keys::kPortStr, m_docPortStr);
  file.PutInt(keys::kSerialSetting, keys::kBaudrate, m_docBaudrate);
  file.PutInt(keys::kSerialSetting, keys::kData, m_docData);
  file.PutInt(keys::kSerialSetting, keys::kStop, m_docStop);
  file.PutInt(keys::kSerialSetting, keys::kParity, m_docParity);
  file.PutInt(keys::kSerialSetting, keys::kPortInt, m_docPortInt);
  file.PutInt(keys::kSerialSetting, keys::kBaudrateInt, m_docBaudrateInt);
  file.PutInt(keys::kSerialSetting, keys::kDataInt, m_docDataInt);
  file.PutInt(keys::kSerialSetting, keys::kStopInt, m_docStopInt);
  file.PutInt(keys::kSerialSetting, keys::kParityInt, m_docParityInt);
  WriteGroupTables(
      file, m_docSerialGroupNumCount,
      {keys::kSerialGroupNumCount, kMaxSerialMembers, m_docGroupName, m_docSerialGroups});
  return Written(file.Save(), path) && alarm;
}

}  // namespace tarnex
