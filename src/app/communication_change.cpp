#include "app/communication_change.h"

#include <string>

#include "config/config_keys.h"
#include "config/profile_file.h"
#include "platform/config_folder.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

// Each file holds its own mode in "m_docCommunicationSelect"; the active flag decides which
// file the next start reads.
void PutCommunication(ProfileFile& file, int mode, bool active) {
  file.PutInt(keys::kCommunication, keys::kCommunicationTrue, active ? 1 : 0);
  file.PutInt(keys::kCommunication, keys::kCommunicationSelect, mode);
}

void PutSerialSetting(ProfileFile& file, const COsprelNetworkManagerDoc& doc) {
  const char* section = keys::kSerialSetting;
  file.Put(section, keys::kPortStr, doc.m_docPortStr);
  file.PutInt(section, keys::kBaudrate, doc.m_docBaudrate);
  file.PutInt(section, keys::kData, doc.m_docData);
  file.PutInt(section, keys::kStop, doc.m_docStop);
  file.PutInt(section, keys::kParity, doc.m_docParity);
  file.PutInt(section, keys::kPortInt, doc.m_docPortInt);
  file.PutInt(section, keys::kBaudrateInt, doc.m_docBaudrateInt);
  file.PutInt(section, keys::kDataInt, doc.m_docDataInt);
  file.PutInt(section, keys::kStopInt, doc.m_docStopInt);
  file.PutInt(section, keys::kParityInt, doc.m_docParityInt);
}

}  // namespace

bool WriteCommunicationChange(const COsprelNetworkManagerDoc& doc) {
  const std::string folder = ConfigFolder();
  const bool toSerial = doc.m_docCommunicationSelect == kSerialMode;
  bool ok;
  {
    ProfileFile network(folder + keys::kNetworkFile);
    PutCommunication(network, kNetworkMode, !toSerial);
    ok = network.Save();
  }
  ProfileFile serial(folder + keys::kSerialFile);
  PutCommunication(serial, kSerialMode, toSerial);
  if (toSerial) PutSerialSetting(serial, doc);
  return serial.Save() && ok;
}

}  // namespace tarnex
