#include "console/selection.h"

#include "protocol/command_frame.h"

namespace tarnex {

Selection Selection::Display(DisplayId id, std::string address, TreeItem item) {
  Selection s;
  if (id == kNoDisplay) return s;
  s.m_kind = Kind::kDisplay;
  s.m_display = id;
  s.m_address = std::move(address);
  s.m_item = item;
  return s;
}

Selection Selection::Group(int number, std::string name, std::vector<SelectedMember> members,
                           TreeItem item) {
  Selection s;
  s.m_kind = Kind::kGroup;
  s.m_groupNumber = number;
  s.m_groupName = std::move(name);
  s.m_members = std::move(members);
  s.m_item = item;
  return s;
}

Selection Selection::SerialDisplay(int setNumber, TreeItem item) {
  Selection s;
  if (!protocol::DeriveSetId(std::to_string(setNumber))) return s;
  s.m_kind = Kind::kSerialDisplay;
  s.m_setNumber = setNumber;
  s.m_item = item;
  return s;
}

Selection Selection::SerialGroup(int number, std::string name, std::vector<int> setNumbers,
                                 TreeItem item) {
  Selection s;
  s.m_kind = Kind::kSerialGroup;
  s.m_groupNumber = number;
  s.m_groupName = std::move(name);
  s.m_setNumbers = std::move(setNumbers);
  s.m_item = item;
  return s;
}

std::string Selection::SetId() const {
  if (m_kind != Kind::kSerialDisplay) return {};
  return protocol::DeriveSetId(std::to_string(m_setNumber)).value_or("");
}

std::string Selection::SetNumberText() const {
  return m_kind == Kind::kSerialDisplay ? std::to_string(m_setNumber) : std::string();
}

int Selection::MemberCount() const {
  switch (m_kind) {
    case Kind::kGroup:
      return static_cast<int>(m_members.size());
    case Kind::kSerialGroup:
      return static_cast<int>(m_setNumbers.size());
    default:
      return 0;
  }
}

std::vector<DisplayId> Selection::PresentMembers() const {
  std::vector<DisplayId> ids;
  for (const SelectedMember& member : m_members) {
    if (!member.Absent()) ids.push_back(member.id);
  }
  return ids;
}

}  // namespace tarnex
