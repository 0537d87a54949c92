#include "links/link_state.h"

namespace tarnex {

void LinkState::PlaceId(int row, DisplayId id) {
  DisplayId& slot = m_docDisplayIds[static_cast<size_t>(row)];
  if (slot != kNoDisplay) m_rowOfId.erase(slot);
  slot = id;
  if (id != kNoDisplay) m_rowOfId[id] = row;
}

// Each moving id is taken out of its row before it is placed in the row above, so the index
// never sees one id in two rows.
void LinkState::CloseUpLinkRow(int row, int count) {
  if (row < 0 || row >= count || count > kMaxDisplays) return;
  PlaceId(row, kNoDisplay);
  for (int next = row + 1; next < count; ++next) {
    const auto from = static_cast<size_t>(next);
    m_docConnectState[from - 1] = m_docConnectState[from];
    const DisplayId moving = m_docDisplayIds[from];
    m_docDisplayIds[from] = kNoDisplay;
    PlaceId(next - 1, moving);
  }
  m_docConnectState[static_cast<size_t>(count - 1)] = -1;
}

}  // namespace tarnex
