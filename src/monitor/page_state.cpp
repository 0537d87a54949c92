#include "monitor/page_state.h"

#include <mutex>

namespace tarnex {

int DocInt(CConsoleCore& core, DocFlag field) {
  std::lock_guard lock(core.Mutex());
  return core.Doc().*field;
}

void SetDocInt(CConsoleCore& core, DocFlag field, int value) {
  std::lock_guard lock(core.Mutex());
  core.Doc().*field = value;
}

bool TargetConnected(CConsoleCore& core) {
  return DocInt(core, &COsprelNetworkManagerDoc::m_docTargetConnected) == 1;
}

bool IsSerialMode(CConsoleCore& core) {
  return DocInt(core, &COsprelNetworkManagerDoc::m_docCommunicationSelect) == kSerialMode;
}

bool TargetIsGroup(CConsoleCore& core) {
  std::lock_guard lock(core.Mutex());
  return core.m_bTargetIsGroup;
}

bool SelectedIsSerialDisplay(CConsoleCore& core) {
  std::lock_guard lock(core.Mutex());
  const DeviceTree& tree = core.Tree();
  return tree.IsRootGrandchild(tree.ViewState().m_hSelectedItem);
}

void SetSelectedIcon(CConsoleCore& core, TreeIcon icon) {
  std::lock_guard lock(core.Mutex());
  DeviceTree& tree = core.Tree();
  const TreeItem selected = tree.ViewState().m_hSelectedItem;
  if (selected != kNoItem) tree.SetImages(selected, TreeImages::Both(icon));
}

void NoteSelectedAnswered(CConsoleCore& core) {
  std::lock_guard lock(core.Mutex());
  core.Tree().NoteSelectedAnswered();
}

void SetSerialConnectState(CConsoleCore& core, int state) {
  std::lock_guard lock(core.Mutex());
  COsprelNetworkManagerDoc& doc = core.Doc();
  const int id = doc.m_docCurrentSerialId;
  // The set number comes from a tree label; one outside the table has no entry to mark.
  if (id < 0 || id >= kSerialSetIds) return;
  doc.m_docSerialConnectState[static_cast<size_t>(id)] = state;
}

Sleeper CoreSleeper(CConsoleCore& core) {
  std::lock_guard lock(core.Mutex());
  return core.SleeperCopy();
}

}  // namespace tarnex
