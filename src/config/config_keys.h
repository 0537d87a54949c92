#pragma once

#include <array>

// Sections and keys of the configuration files, as existing files spell them.
namespace tarnex::config_keys {

inline constexpr const char* kNetworkFile = "QXMNTConfig.ini";
inline constexpr const char* kSerialFile = "QXMNTSerialConfig.ini";
inline constexpr const char* kLoginFile = "QXMNTLoginConfig.ini";
// Not an INI file, and never copied with the others: it holds the PJLink passwords.
inline constexpr const char* kPjlinkPasswordsFile = "QXMNTPjlinkPasswords.txt";

inline constexpr const char* kCommunication = "Communication";
inline constexpr const char* kCommunicationTrue = "m_docCommunicationTrue";
inline constexpr const char* kCommunicationSelect = "m_docCommunicationSelect";

inline constexpr const char* kValue = "VALUE";
inline constexpr const char* kSocketNumber = "m_docSocketNumber";
inline constexpr const char* kSingle = "SINGLE";
inline constexpr const char* kTreeName = "TREENAME";
// "PJLINK <address>" or "NATIVE <address>" by display index; written only for a fleet that has
// held a PJLink display, so that other files keep their bytes. Older readers pass over it.
inline constexpr const char* kLinkKind = "LINKKIND";
inline constexpr const char* kMacAddressList = "MacAddressList";
inline constexpr const char* kIpMode = "IPMode";
inline constexpr const char* kDisplayMacList = "DisplayMacList";
inline constexpr std::array<const char*, 4> kIpAddressFild = {"IPAddressFild0", "IPAddressFild1",
                                                              "IPAddressFild2", "IPAddressFild3"};
inline constexpr std::array<const char*, 4> kSubnetMaskFild = {
    "SubnetMaskFild0", "SubnetMaskFild1", "SubnetMaskFild2", "SubnetMaskFild3"};
inline constexpr std::array<const char*, 4> kGatewayFild = {"GatewayFild0", "GatewayFild1",
                                                            "GatewayFild2", "GatewayFild3"};
inline constexpr std::array<const char*, 4> kPrimaryDnsFild = {
    "PrimaryDNSFild0", "PrimaryDNSFild1", "PrimaryDNSFild2", "PrimaryDNSFild3"};
inline constexpr std::array<const char*, 4> kSecondaryDnsFild = {
    "SecondaryDnsFild0", "SecondaryDnsFild1", "SecondaryDnsFild2", "SecondaryDnsFild3"};

inline constexpr const char* kGroupCount = "GROUPCOUNT";
inline constexpr const char* kGroupNumCount = "m_docGroupNumCount";
inline constexpr const char* kSerialGroupNumCount = "m_docSerialGroupNumCount";
inline constexpr const char* kGroupChildCount = "GROUPCHILDCOUNT";
inline constexpr const char* kGroupName = "GROUPNAME";
inline constexpr const char* kGroupChildName = "GROUPCHILDNAME";
inline constexpr const char* kGroupIpList = "GROUPIPLIST";

inline constexpr const char* kSerialSetting = "SerialSetting";
inline constexpr const char* kPortStr = "m_docPortStr";
inline constexpr const char* kBaudrate = "m_docBaudrate";
inline constexpr const char* kData = "m_docData";
inline constexpr const char* kStop = "m_docStop";
inline constexpr const char* kParity = "m_docParity";
inline constexpr const char* kPortInt = "m_docPortInt";
inline constexpr const char* kBaudrateInt = "m_docBaudrateInt";
inline constexpr const char* kDataInt = "m_docDataInt";
inline constexpr const char* kStopInt = "m_docStopInt";
inline constexpr const char* kParityInt = "m_docParityInt";

inline constexpr const char* kAlarm = "Alarm";
inline constexpr const char* kSubject = "Subject";
inline constexpr const char* kTo = "TO";
inline constexpr const char* kFrom = "FROM";
inline constexpr const char* kSmtpServer = "SMTPServer";
// Written only once the operator chose one; older readers pass over it.
inline constexpr const char* kEncryption = "Encryption";

inline constexpr const char* kLogin = "LOGIN";
inline constexpr const char* kLoginId = "m_docLoginID";
inline constexpr const char* kLoginPw = "m_docLoginPW";

// The mail server's account lives beside the login, in the owner-only file, never in the
// configuration files that others may read.
inline constexpr const char* kMailLogin = "MAIL";
inline constexpr const char* kMailUser = "m_docMailUser";
inline constexpr const char* kMailPw = "m_docMailPW";

// Schedules: written only once a table was kept, so that older files stay as they were; older
// readers pass over these sections. Every section but the count is keyed by the entry's index.
inline constexpr const char* kScheduleCount = "SCHEDULECOUNT";
inline constexpr const char* kScheduleCountKey = "m_docScheduleCount";
inline constexpr const char* kScheduleExcludeCountKey = "m_docScheduleExcludeCount";
inline constexpr const char* kScheduleName = "SCHEDULENAME";
inline constexpr const char* kScheduleTarget = "SCHEDULETARGET";
inline constexpr const char* kScheduleAction = "SCHEDULEACTION";
inline constexpr const char* kScheduleWhen = "SCHEDULEWHEN";
inline constexpr const char* kScheduleFlags = "SCHEDULEFLAGS";
inline constexpr const char* kScheduleValid = "SCHEDULEVALID";
inline constexpr const char* kScheduleExclude = "SCHEDULEEXCLUDE";

}  // namespace tarnex::config_keys
