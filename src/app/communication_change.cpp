#include "app/communication_change.h"

#include <string>

#include "config/config_keys.h"
#include "platform/config_folder.h"
#include "platform/private_profile.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

bool Put(const std::string& file, const char* section, const char* key, const std::string& value) {
  return WritePrivateProfileStringA(section, key, value.c_str(), file.c_str()) != 0;
}

bool PutInt(const std::string& file, const char* section, const char* key, int value) {
  return Put(file, section, key, std::to_string(value));
}

// Each file holds its own mode in "m_docCommunicationSelect"; the active flag decides which
// file the next start reads.
bool PutCommunication(const std::string& file, int mode, bool active) {
  const bool flag = PutInt(file, keys::kCommunication, keys::kCommunicationTrue, active ? 1 : 0);
  return PutInt(file, keys::kCommunication, keys::kCommunicationSelect, mode) && flag;
}

bool PutSerialSetting(const std::string& file, const COsprelNetworkManagerDoc& doc) {
  const char* section = keys::kSerialSetting;
  bool ok = Put(file, section, keys::kPortStr, doc.m_docPortStr);
  ok = PutInt(file, section, keys::kBaudrate, doc.m_docBaudrate) && ok;
  ok = PutInt(file, section, keys::kData, doc.m_docData) && ok;
  ok = PutInt(file, section, keys::kStop, doc.m_docStop) && ok;
  ok = PutInt(file, section, keys::kParity, doc.m_docParity) && ok;
  ok = PutInt(file, section, keys::kPortInt, doc.m_docPortInt) && ok;
  ok = PutInt(file, section, keys::kBaudrateInt, doc.m_docBaudrateInt) && ok;
  ok = PutInt(file, section, keys::kDataInt, doc.m_docDataInt) && ok;
  ok = PutInt(file, section, keys::kStopInt, doc.m_docStopInt) && ok;
  return PutInt(file, section, keys::kParityInt, doc.m_docParityInt) && ok;
}

}  // namespace

bool WriteCommunicationChange(const COsprelNetworkManagerDoc& doc) {
  const std::string folder = ConfigFolder();
  const std::string network = folder + keys::kNetworkFile;
  const std::string serial = folder + keys::kSerialFile;
  const bool toSerial = doc.m_docCommunicationSelect == kSerialMode;
  bool ok;
  {
    ProfileBatch batch(network);
    const bool written = PutCommunication(network, kNetworkMode, !toSerial);
    ok = batch.Commit() && written;
  }
  ProfileBatch batch(serial);
  bool written = PutCommunication(serial, kSerialMode, toSerial);
  if (toSerial) written = PutSerialSetting(serial, doc) && written;
  return batch.Commit() && written && ok;
}

}  // namespace tarnex
