#include "monitor/page_state.h"

#include <mutex>

namespace tarnex {

int DocInt(CConsoleCore& core, DocFlag field) {
  auto state = core.Lock();
  return state->Doc().*field;
}

void SetDocInt(CConsoleCore& core, DocFlag field, int value) {
  auto state = core.Lock();
  state->Doc().*field = value;
}

bool TargetConnected(CConsoleCore& core) {
  return DocInt(core, &COsprelNetworkManagerDoc::m_docTargetConnected) == 1;
}

bool IsSerialMode(CConsoleCore& core) {
  return DocInt(core, &COsprelNetworkManagerDoc::m_docCommunicationSelect) == kSerialMode;
}

bool TargetIsGroup(CConsoleCore& core) {
  auto state = core.Lock();
  return state->TargetIsGroup();
}

bool SelectedIsSerialDisplay(CConsoleCore& core) {
  auto state = core.Lock();
  const DeviceTree& tree = state->Tree();
  return tree.IsRootGrandchild(tree.ViewState().m_hSelectedItem);
}

void SetSelectedIcon(CConsoleCore& core, TreeIcon icon) {
  auto state = core.Lock();
  DeviceTree& tree = state->Tree();
  const TreeItem selected = tree.ViewState().m_hSelectedItem;
  if (selected != kNoItem) tree.SetImages(selected, TreeImages::Both(icon));
}

void NoteSelectedAnswered(CConsoleCore& core) {
  auto state = core.Lock();
  state->Tree().NoteSelectedAnswered();
}

void SetSerialConnectState(CConsoleCore& core, int connectState) {
  auto state = core.Lock();
  COsprelNetworkManagerDoc& doc = state->Doc();
  const int id = doc.m_docCurrentSerialId;
  // The set number comes from a tree label; one outside the table has no entry to mark.
  if (id < 0 || id >= kSerialSetIds) return;
  doc.m_docSerialConnectState[static_cast<size_t>(id)] = connectState;
}

Sleeper CoreSleeper(CConsoleCore& core) {
  return core.SleeperCopy();
}

}  // namespace tarnex
