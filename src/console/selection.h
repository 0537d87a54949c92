#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "links/link_state.h"
#include "registry/tree_observer.h"

namespace tarnex {

// One listing of a network group: the display that holds the listed address, or none (a
// hand-edited or older file lists an address that no display of the table has).
struct SelectedMember {
  DisplayId id = kNoDisplay;
  std::string address;

  bool Absent() const { return id == kNoDisplay; }
  friend bool operator==(const SelectedMember&, const SelectedMember&) = default;
};

// What the operator has selected, as one value: the only thing a command, a read, a history
// line or a mail learns its display from. It is made whole when the operator selects, never
// changed afterwards, and replaced by the next selection; a display named here by its id stays
// that display whatever rows move meanwhile.
class Selection {
 public:
  enum class Kind : std::uint8_t {
    kNothing,
    kDisplay,        // network: one display
    kGroup,          // network: a group, its listings in member order
    kSerialDisplay,  // serial: one set number (0 reaches every display on the line)
    kSerialGroup,    // serial: a group, each member by its set number
  };

  Selection() = default;
  static Selection Display(DisplayId id, std::string address, TreeItem item);
  static Selection Group(int number, std::string name, std::vector<SelectedMember> members,
                         TreeItem item);
  static Selection SerialDisplay(int setNumber, TreeItem item);
  static Selection SerialGroup(int number, std::string name, std::vector<int> setNumbers,
                               TreeItem item);

  Kind kind() const { return m_kind; }
  bool IsNothing() const { return m_kind == Kind::kNothing; }
  bool IsGroup() const { return m_kind == Kind::kGroup || m_kind == Kind::kSerialGroup; }
  bool IsSerial() const { return m_kind == Kind::kSerialDisplay || m_kind == Kind::kSerialGroup; }
  TreeItem item() const { return m_item; }

  // kDisplay.
  DisplayId display() const { return m_kind == Kind::kDisplay ? m_display : kNoDisplay; }
  const std::string& address() const { return m_address; }
  // kSerialDisplay: the set number (-1 otherwise), its two-digit set ID and the decimal text
  // the history names it by.
  int setNumber() const { return m_kind == Kind::kSerialDisplay ? m_setNumber : -1; }
  std::string SetId() const;
  std::string SetNumberText() const;

  // Groups: the group's number (its position under "Group"), its name, and its members.
  int groupNumber() const { return m_groupNumber; }
  const std::string& groupName() const { return m_groupName; }
  const std::vector<SelectedMember>& members() const { return m_members; }
  const std::vector<int>& setNumbers() const { return m_setNumbers; }
  // The listings of a group, absent ones included.
  int MemberCount() const;
  // The listings that stand for a display.
  std::vector<DisplayId> PresentMembers() const;

  friend bool operator==(const Selection&, const Selection&) = default;

 private:
  Kind m_kind = Kind::kNothing;
  TreeItem m_item = kNoItem;
  DisplayId m_display = kNoDisplay;
  std::string m_address;
  int m_setNumber = -1;
  int m_groupNumber = -1;
  std::string m_groupName;
  std::vector<SelectedMember> m_members;
  std::vector<int> m_setNumbers;
};

// What a PJLink display has told about itself.
struct PjlinkFacts {
  int linkClass = 0;  // CLSS; 0 until it answered
  std::string name;   // NAME, as it last answered
  // Its password was refused, or it asks for one the console does not have: "Password
  // rejected". Supervision leaves it alone until its password changes or Connect is pressed.
  bool authFailed = false;
  // It reported a failure (ERR4); its error status is read at the next supervision pass.
  bool warning = false;
  bool errorStatusDue = false;
  // The PJLink commands it does not know (ERR1): "LAMP" is a display without a lamp.
  std::set<std::string> undefined;
  // A power set it answered "busy" (ERR3): supervision sends it again for a while.
  std::optional<bool> desiredPower;
  std::chrono::steady_clock::time_point desiredSince{};
};

// What one display answered, kept with that display (by its id, or its set number on the
// serial line), so that selecting another display never inherits it.
struct DisplayFacts {
  // 0 unknown (never answered the kind query), else 1 to 3.
  int kind = 0;
  // An input query of this display was answered: a refresh may read its settings.
  bool inputReadOk = false;
  // Serial: the set ID answered its last link check.
  bool setIdAnswered = true;
  // A connect of the display's link was asked for and has not ended yet.
  bool connectPending = false;
  PjlinkFacts pjlink;
};

}  // namespace tarnex
