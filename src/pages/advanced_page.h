#pragma once

#include "pages/menu_page.h"

namespace tarnex {

// The Advanced page: colour temperature, 3D format and eye order of the selected display or of
// every display of the selected group, and its red, green and blue gains, which are shown and
// never set from here. The 3D lists follow the display's signal.
class CScreen : public CMenuPage {
 public:
  explicit CScreen(CConsoleCore& core, QWidget* parent = nullptr);

  QString Title() const override;
  QIcon Icon() const override;
  // The colour temperature last sent; -1 before one was.
  int LastColourTemperature() const { return m_lastColourTemperature; }

 protected:
  void ApplyEnabled(bool enabled) override;
  void AfterChoice(int setting, bool sent) override;

 private:
  int m_lastColourTemperature = -1;
};

}  // namespace tarnex
