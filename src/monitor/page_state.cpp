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

void NoteSelectedAnswered(CConsoleCore& core) {
  auto state = core.Lock();
  state->Tree().NoteSelectedAnswered();
}

Sleeper CoreSleeper(CConsoleCore& core) {
  return core.SleeperCopy();
}

}  // namespace tarnex
