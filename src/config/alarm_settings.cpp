#include "config/config_keys.h"
#include "config/login_file.h"
#include "config/network_manager_doc.h"
#include "config/profile_file.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

bool WriteAlarm(const std::string& path, const COsprelNetworkManagerDoc& doc) {
  ProfileFile file(path);
  file.Put(keys::kAlarm, keys::kSubject, doc.m_docAlarmSubject);
  file.Put(keys::kAlarm, keys::kTo, doc.m_docAlarmTo);
  file.Put(keys::kAlarm, keys::kFrom, doc.m_docAlarmFrom);
  file.Put(keys::kAlarm, keys::kSmtpServer, doc.m_docAlarmServer);
  if (!doc.m_docAlarmEncryption.empty()) {
    file.Put(keys::kAlarm, keys::kEncryption, doc.m_docAlarmEncryption);
  }
  return file.Save();
}

}  // namespace

// The serial file keeps a copy that nothing reads: the alarm settings are one set for both
// modes, and the network file holds it.
bool COsprelNetworkManagerDoc::WriteAlarmSettings() {
  RefreshFolder();
  bool ok = true;
  for (const std::string& path : {NetworkConfigPath(), SerialConfigPath()}) {
    ok = Written(Writable(path) && WriteAlarm(path, *this), path) && ok;
  }
  return ok;
}

void COsprelNetworkManagerDoc::ReadAlarmSettings() {
  RefreshFolder();
  const ProfileFile file(NetworkConfigPath());
  m_docAlarmSubject = file.Text(keys::kAlarm, keys::kSubject);
  m_docAlarmTo = file.Text(keys::kAlarm, keys::kTo);
  m_docAlarmFrom = file.Text(keys::kAlarm, keys::kFrom);
  m_docAlarmServer = file.Text(keys::kAlarm, keys::kSmtpServer);
  m_docAlarmEncryption = file.Text(keys::kAlarm, keys::kEncryption);
  const MailLogin account = ReadMailLogin(LoginConfigPath());
  m_docAlarmUser = account.m_user;
  m_docAlarmPassword = account.m_password;
}

bool COsprelNetworkManagerDoc::WriteMailLogin() {
  RefreshFolder();
  return Written(tarnex::WriteMailLogin(LoginConfigPath(), {m_docAlarmUser, m_docAlarmPassword}),
                 LoginConfigPath());
}

}  // namespace tarnex
