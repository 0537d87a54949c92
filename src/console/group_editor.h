#pragma once

#include <string>

#include "console/console_core.h"

namespace tarnex {

// The operator's edits of the groups and of display names, on the document's tables and the
// tree together. Each edit runs whole under the console lock, so a supervision pass or a group
// send sees the tables before or after it, never half of it; a group send already running
// keeps the members it started with. Each returns the message to show the operator, empty
// when there is none. The edits change memory only; the files are written at the close.
class CGroupEditor {
 public:
  explicit CGroupEditor(CConsoleCore& core) : m_core(core) {}

  // A new group of that name after the last one.
  std::string MakeGroup(const std::string& name);
  // The selected display (a "Single" child, or a set-ID item on the serial line) joins group
  // `group`; -1 when the operator chose none.
  std::string AddToGroup(int group);
  // A "Single" display dropped on a group item joins that group (network); the new member
  // item, or kNoItem when nothing was added. `message` gets what to tell the operator.
  TreeItem AddByDrop(TreeItem display, TreeItem groupItem, std::string* message);
  // The selected display, from the table and every group, or the selected member from its
  // group.
  std::string DeleteProjector();
  // The selected group with its members.
  std::string DeleteGroup();
  // The selected display's name: empty when the operator cancelled, "NULL" to remove the
  // name and keep the bare address.
  std::string ChangeName(const std::string& pending);

  // Why a name cannot be stored, or empty when it can: a line break or a zero byte would
  // break the configuration file's lines.
  static std::string NameProblem(const std::string& name);

 private:
  using State = CConsoleCore::State;
  std::string AddNetworkMember(const State& state, int group, TreeItem selected);
  std::string AddSerialMember(const State& state, int group, TreeItem selected);
  void DeleteDisplay(const State& state, TreeItem selected);
  void DeleteMember(const State& state, TreeItem selected);
  void ForgetSelection(const State& state);

  CConsoleCore& m_core;
};

}  // namespace tarnex
