#include "monitor/progress_popup.h"

namespace tarnex {

ProgressPopup::ProgressPopup(UiHost& ui) : m_ui(ui) {
  m_ui.ProgressCreate();
}

ProgressPopup::~ProgressPopup() {
  m_ui.ProgressDestroy();
}

void ProgressPopup::SetPos(int percent) {
  m_ui.ProgressSetPos(percent);
}

}  // namespace tarnex
