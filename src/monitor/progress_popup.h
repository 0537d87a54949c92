#pragma once

#include "platform/ui_host.h"

namespace tarnex {

// The progress popup for the length of one page refresh. It goes when the refresh ends, by
// whatever path, so no failure can leave "Please Wait..." in the status bar.
class ProgressPopup {
 public:
  explicit ProgressPopup(UiHost& ui);
  ~ProgressPopup();
  ProgressPopup(const ProgressPopup&) = delete;
  ProgressPopup& operator=(const ProgressPopup&) = delete;

  void SetPos(int percent);

 private:
  UiHost& m_ui;
};

}  // namespace tarnex
