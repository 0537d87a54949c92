#include "monitor/page_state.h"

#include <mutex>

#include "monitor/read_context.h"

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
  return core.Lock()->SelectionUsable();
}

bool IsSerialMode(CConsoleCore& core) {
  return DocInt(core, &COsprelNetworkManagerDoc::m_docCommunicationSelect) == kSerialMode;
}

bool TargetIsGroup(CConsoleCore& core) {
  return core.Lock()->Selected().IsGroup();
}

bool SelectedIsSerialDisplay(CConsoleCore& core) {
  return core.Lock()->Selected().kind() == Selection::Kind::kSerialDisplay;
}

DisplayFacts SelectedDisplayFacts(CConsoleCore& core) {
  auto state = core.Lock();
  const DisplayFacts* facts = SelectedFacts(state);
  return facts != nullptr ? *facts : DisplayFacts{};
}

void NoteSelectedAnswered(CConsoleCore& core) {
  auto state = core.Lock();
  state->Tree().NoteSelectedAnswered();
}

Sleeper CoreSleeper(CConsoleCore& core) {
  return core.SleeperCopy();
}

}  // namespace tarnex
