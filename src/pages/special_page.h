#pragma once

#include "pages/menu_page.h"

namespace tarnex {

// The Special page: aspect ratio, key lock, high altitude and lamp mode of the selected display
// or of every display of the selected group.
class COption : public CMenuPage {
 public:
  explicit COption(CConsoleCore& core, QWidget* parent = nullptr);

  QString Title() const override;
  QIcon Icon() const override;

 protected:
  // Nothing on this page depends on the signal.
  void ApplyEnabled(bool /*enabled*/) override {}
};

}  // namespace tarnex
