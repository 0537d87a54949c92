#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "config/label_source.h"
#include "config/login_file.h"
#include "config/pjlink_passwords.h"
#include "config/schedule_entry.h"
#include "links/link_state.h"
#include "registry/display_record.h"

namespace tarnex {

class ProfileFile;

inline constexpr int kSerialSetIds = 100;
inline constexpr int kNetworkMode = 1;
inline constexpr int kSerialMode = 2;

// The console's configuration and the runtime state that goes with it. The configuration is
// read from the active INI file when the document is created and written back when it closes;
// in between every edit changes only these tables.
//
// Tables have fixed capacities: m_docDisplays holds kMaxDisplays records, m_docGroupName
// kMaxGroupNames names, m_docGroups and m_docSerialGroups kMaxGroups groups. The counts say how
// many entries are in use. Member lists hold exactly their group's members (at most
// kMaxNetworkMembers, or kMaxSerialMembers for serial groups), so a full configuration costs
// what it holds, not its capacity.
class COsprelNetworkManagerDoc : public LinkState {
 public:
  COsprelNetworkManagerDoc();

  // Chooses the active configuration file and reads it. Always succeeds: what is missing reads
  // as empty, and so does a file that is there but cannot be read (see UnreadableFiles).
  bool OnNewDocument();
  // Writes the login file, then, unless m_docNoSave is set, the active configuration file
  // marked as the one to load next. False when a file could not be written (see FailedFiles).
  bool OnCloseDocument(const LoginCredentials& login);

  // Each writes its whole file in one atomic replacement, after the alarm settings and the
  // label copy-back. False when a file could not be written; the old file then stays whole.
  bool WriteNetworkConfig();
  bool WriteSerialConfig();
  // The schedule sections of the network file alone, for serial mode.
  bool WriteNetworkSchedules();
  // "Alarm" of both files; read back from the network file only, whatever the mode. The
  // reading takes the mail server's account from the login file as well.
  bool WriteAlarmSettings();
  void ReadAlarmSettings();
  // The mail server's account, into the login file.
  bool WriteMailLogin();

  // None when the login file is there but cannot be read.
  std::optional<LoginCredentials> ReadLogin();
  bool WriteLogin(const LoginCredentials& login);

  // Configuration files that were there but could not be read by this document (not a
  // regular file, too large, refused). The document never writes them, so that an empty
  // table cannot replace contents nobody saw.
  const std::vector<std::string>& UnreadableFiles() const { return m_unreadable; }
  // Files that the writes since the last OnCloseDocument began could not write, in order,
  // each once.
  const std::vector<std::string>& FailedFiles() const { return m_failed; }

  // The tree that supplies current labels before a save; null leaves the stored labels.
  void SetLabelSource(const LabelSource* source) { m_labelSource = source; }

  // Sets the member count of a group, growing or cutting its lists; clamped to the capacity.
  void SetGroupMemberCount(int group, int count);
  void SetSerialGroupMemberCount(int group, int count);

  // ---- Rows of the display table; the link states and the ids move with them ----
  // A display enters at the end of the table with its address, never tried, under a fresh id.
  // Its row, or -1 when the table is full.
  int AppendDisplay(const std::string& address);
  // The display in `row` leaves the table: the rows after it close up. Only the table changes;
  // the console's guard removes a display with its socket and what it answered.
  void EraseDisplayRow(int row);

  std::string NetworkConfigPath() const;
  std::string SerialConfigPath() const;
  std::string LoginConfigPath() const;
  std::string PjlinkPasswordsPath() const;

  // ---- Configuration ----
  int m_docCommunicationSelect = kNetworkMode;
  int m_docCommunicationTrue = 0;
  int m_docSocketNumber = 0;
  int m_docGroupNumCount = 0;
  int m_docSerialGroupNumCount = 0;
  std::vector<DisplayRecord> m_docDisplays;
  std::vector<std::string> m_docGroupName;
  std::vector<GroupRecord> m_docGroups;        // member labels and IP addresses
  std::vector<GroupRecord> m_docSerialGroups;  // member labels and member IDs
  // The schedules, kept in the network file whatever the mode; written at the close.
  ScheduleTable m_docSchedules;
  // Read and written with the network configuration, kept in a file of their own.
  PjlinkPasswords m_docPjlinkPasswords;

  std::string m_docPortStr;
  int m_docBaudrate = 0;
  int m_docData = 0;
  int m_docStop = 0;
  int m_docParity = 0;
  int m_docPortInt = 0;
  int m_docBaudrateInt = 2;
  int m_docDataInt = 3;
  int m_docStopInt = 1;
  int m_docParityInt = 2;

  std::string m_docAlarmSubject;
  std::string m_docAlarmTo;
  std::string m_docAlarmFrom;
  std::string m_docAlarmServer;
  // How the mail goes: empty for the account's default, or the operator's choice ("if
  // offered", "required", "never").
  std::string m_docAlarmEncryption;
  std::string m_docAlarmUser;
  std::string m_docAlarmPassword;

  // Set by a confirmed communication change: the close then writes only the login file.
  int m_docNoSave = 0;
  // With a trailing "/"; found again before every read and write.
  std::string m_docConfigFolder;

  // ---- Runtime state of the links (the selection is the console's own) ----
  std::array<int, kSerialSetIds> m_docSerialConnectState{};
  int m_docSelectedGroup = 0;
  int m_docSerialTimeoutShort = 0;

  // ---- Page flags: which page of the property sheet is on top ----
  int m_docInformationPageActive = 0;
  int m_docControlPageActive = 0;
  int m_docPicturePageActive = 0;
  int m_docAdvancedPageActive = 0;
  int m_docSpecialPageActive = 0;
  int m_docInformationShown = 0;
  int m_docGroupPageActive = 0;

 private:
  void RefreshFolder();
  void ReadNetworkConfig(const ProfileFile& file);
  void ReadSerialConfig(const ProfileFile& file);
  void ReadPjlinkPasswordFile();
  bool WritePjlinkPasswordFile();
  void CopyLabelsBack(bool network);
  bool WriteCloseFlags(const std::string& otherFile);
  // Notes a file that could not be read, and whether it could.
  bool Readable(const ProfileFile& file);
  bool Writable(const std::string& path);
  // Notes a file that could not be written, and passes `written` on.
  bool Written(bool written, const std::string& path);

  const LabelSource* m_labelSource = nullptr;
  std::vector<std::string> m_unreadable;
  std::vector<std::string> m_failed;
  // Until the password file was read whole, an empty table says nothing about what it holds.
  bool m_pjlinkPasswordsRead = false;
};

}  // namespace tarnex
