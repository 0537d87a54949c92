#include "config/network_manager_doc.h"

#include <algorithm>

#include "config/config_keys.h"
#include "config/group_tables.h"
#include "config/profile_file.h"
#include "platform/config_folder.h"
#include "platform/private_profile.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

void AddOnce(std::vector<std::string>& paths, const std::string& path) {
  if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
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

bool COsprelNetworkManagerDoc::Readable(const ProfileFile& file) {
  if (file.State() != ProfileState::kUnreadable) return true;
  AddOnce(m_unreadable, file.Path());
  return false;
}

bool COsprelNetworkManagerDoc::Writable(const std::string& path) {
  return std::find(m_unreadable.begin(), m_unreadable.end(), path) == m_unreadable.end();
}

bool COsprelNetworkManagerDoc::Written(bool written, const std::string& path) {
  if (!written) AddOnce(m_failed, path);
  return written;
}

// The file marked active wins; the network file wins a tie and is the default. The mode
// stored in the chosen file then decides what is read; an unknown mode reads nothing.
bool COsprelNetworkManagerDoc::OnNewDocument() {
  RefreshFolder();
  m_unreadable.clear();
  const ProfileFile network(NetworkConfigPath());
  const ProfileFile serial(SerialConfigPath());
  Readable(network);
  Readable(serial);
  const bool networkActive = network.Int(keys::kCommunication, keys::kCommunicationTrue) == 1;
  const bool serialActive = serial.Int(keys::kCommunication, keys::kCommunicationTrue) == 1;
  const ProfileFile& chosen = (networkActive || !serialActive) ? network : serial;
  m_docCommunicationSelect = chosen.Int(keys::kCommunication, keys::kCommunicationSelect);
  if (m_docCommunicationSelect == 0 || m_docCommunicationSelect == kNetworkMode) {
    m_docCommunicationSelect = kNetworkMode;
    ReadNetworkConfig(network);
  } else if (m_docCommunicationSelect == kSerialMode) {
    ReadSerialConfig(serial);
  }
  // The schedules live in the network file whatever the mode.
  m_docSchedules = ReadScheduleTable(network);
  return true;
}

// The file of the mode in use is marked active and the other one inactive, so exactly one
// file is loaded at the next start.
bool COsprelNetworkManagerDoc::OnCloseDocument(const LoginCredentials& login) {
  m_failed.clear();
  bool ok = WriteLogin(login);
  if (m_docNoSave == 1) return ok;
  if (m_docCommunicationSelect == kNetworkMode) {
    ok = WriteCloseFlags(SerialConfigPath()) && ok;
    ok = WriteNetworkConfig() && ok;
  } else if (m_docCommunicationSelect == kSerialMode) {
    ok = WriteCloseFlags(NetworkConfigPath()) && ok;
    ok = WriteNetworkSchedules() && ok;
    ok = WriteSerialConfig() && ok;
  }
  return ok;
}

bool COsprelNetworkManagerDoc::WriteCloseFlags(const std::string& otherFile) {
  m_docCommunicationTrue = 1;
  if (!Writable(otherFile)) return Written(false, otherFile);
  return Written(WritePrivateProfileStringA(keys::kCommunication, keys::kCommunicationTrue, "0",
                                            otherFile.c_str()) != 0,
                 otherFile);
}

std::optional<LoginCredentials> COsprelNetworkManagerDoc::ReadLogin() {
  RefreshFolder();
  return ReadLoginFile(LoginConfigPath());
}

bool COsprelNetworkManagerDoc::WriteLogin(const LoginCredentials& login) {
  RefreshFolder();
  return Written(WriteLoginFile(LoginConfigPath(), login), LoginConfigPath());
}

int COsprelNetworkManagerDoc::AppendDisplay(const std::string& address) {
  const int row = ClampCount(m_docSocketNumber, kMaxDisplays);
  if (row >= kMaxDisplays) return -1;
  m_docSocketNumber = row + 1;
  DisplayRecord& record = m_docDisplays[static_cast<size_t>(row)];
  record = DisplayRecord{};
  record.m_address = address;
  m_docConnectState[static_cast<size_t>(row)] = -1;
  GiveNewId(row);
  return row;
}

void COsprelNetworkManagerDoc::EraseDisplayRow(int row) {
  const int count = ClampCount(m_docSocketNumber, kMaxDisplays);
  if (row < 0 || row >= count) return;
  const auto begin = m_docDisplays.begin();
  std::move(begin + row + 1, begin + count, begin + row);
  m_docDisplays[static_cast<size_t>(count - 1)] = DisplayRecord{};
  CloseUpLinkRow(row, count);
  m_docSocketNumber = count - 1;
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
