#include "config/network_manager_doc.h"

#include "config/config_keys.h"
#include "config/group_tables.h"
#include "config/profile_file.h"
#include "platform/config_folder.h"
#include "platform/private_profile.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

int ReadFlag(const std::string& path, const char* key) {
  return static_cast<int>(GetPrivateProfileIntA(keys::kCommunication, key, 0, path.c_str()));
}

}  // namespace

COsprelNetworkManagerDoc::COsprelNetworkManagerDoc()
    : m_docDisplays(kMaxDisplays),
      m_docGroupName(kMaxGroupNames),
      m_docGroups(kMaxGroups),
      m_docSerialGroups(kMaxGroups),
      m_docConfigFolder(ConfigFolder()) {}

void COsprelNetworkManagerDoc::RefreshFolder() {
  m_docConfigFolder = ConfigFolder();
}

std::string COsprelNetworkManagerDoc::NetworkConfigPath() const {
  return m_docConfigFolder + keys::kNetworkFile;
}

std::string COsprelNetworkManagerDoc::SerialConfigPath() const {
  return m_docConfigFolder + keys::kSerialFile;
}

std::string COsprelNetworkManagerDoc::LoginConfigPath() const {
  return m_docConfigFolder + keys::kLoginFile;
}

// The file marked active wins; the network file wins a tie and is the default. The mode
// stored in the chosen file then decides what is read; an unknown mode reads nothing.
bool COsprelNetworkManagerDoc::OnNewDocument() {
  RefreshFolder();
  const std::string network = NetworkConfigPath();
  const std::string serial = SerialConfigPath();
  const bool networkActive = ReadFlag(network, keys::kCommunicationTrue) == 1;
  const bool serialActive = ReadFlag(serial, keys::kCommunicationTrue) == 1;
  const std::string& chosen = (networkActive || !serialActive) ? network : serial;
  m_docCommunicationSelect = ReadFlag(chosen, keys::kCommunicationSelect);
  if (m_docCommunicationSelect == 0 || m_docCommunicationSelect == kNetworkMode) {
    m_docCommunicationSelect = kNetworkMode;
    ReadNetworkConfig();
  } else if (m_docCommunicationSelect == kSerialMode) {
    ReadSerialConfig();
  }
  return true;
}

// The file of the mode in use is marked active and the other one inactive, so exactly one
// file is loaded at the next start.
bool COsprelNetworkManagerDoc::OnCloseDocument(const LoginCredentials& login) {
  bool ok = WriteLogin(login);
  if (m_docNoSave == 1) return ok;
  if (m_docCommunicationSelect == kNetworkMode) {
    ok = WriteCloseFlags(SerialConfigPath()) && ok;
    ok = WriteNetworkConfig() && ok;
  } else if (m_docCommunicationSelect == kSerialMode) {
    ok = WriteCloseFlags(NetworkConfigPath()) && ok;
    ok = WriteSerialConfig() && ok;
  }
  return ok;
}

bool COsprelNetworkManagerDoc::WriteCloseFlags(const std::string& otherFile) {
  const bool written = WritePrivateProfileStringA(keys::kCommunication, keys::kCommunicationTrue,
                                                  "0", otherFile.c_str()) != 0;
  m_docCommunicationTrue = 1;
  return written;
}

LoginCredentials COsprelNetworkManagerDoc::ReadLogin() {
  RefreshFolder();
  return ReadLoginFile(LoginConfigPath());
}

bool COsprelNetworkManagerDoc::WriteLogin(const LoginCredentials& login) {
  RefreshFolder();
  return WriteLoginFile(LoginConfigPath(), login);
}

void COsprelNetworkManagerDoc::SetGroupMemberCount(int group, int count) {
  if (group < 0 || group >= kMaxGroups) return;
  GroupRecord& record = m_docGroups[static_cast<size_t>(group)];
  const size_t size = static_cast<size_t>(ClampCount(count, kMaxNetworkMembers));
  record.m_labels.resize(size);
  record.m_addresses.resize(size);
}

void COsprelNetworkManagerDoc::SetSerialGroupMemberCount(int group, int count) {
  if (group < 0 || group >= kMaxGroups) return;
  GroupRecord& record = m_docSerialGroups[static_cast<size_t>(group)];
  const size_t size = static_cast<size_t>(ClampCount(count, kMaxSerialMembers));
  record.m_labels.resize(size);
  record.m_addresses.resize(size);
}

}  // namespace tarnex
