#pragma once

#include "pages/menu_page.h"

namespace tarnex {

// The Picture page: picture mode, contrast, brightness, colour, sharpness and black level of
// the selected display or of every display of the selected group. Its controls follow the
// display's signal; choosing a mode re-reads the page, since the mode brings its own values.
class CAV : public CMenuPage {
 public:
  explicit CAV(CConsoleCore& core, QWidget* parent = nullptr);

  QString Title() const override;
  QIcon Icon() const override;
  // The mode last chosen or reported; -1 before either.
  int LastChosenMode() const { return m_lastMode; }

 protected:
  void ApplyEnabled(bool enabled) override;
  void AfterChoice(int setting, bool sent) override;
  void AfterReadings(const MenuReadings& readings) override;

 private:
  // The boxes the operator tunes in an Expert mode stand out while one is chosen.
  void ShowExpertBoxes();

  int m_lastMode = -1;
};

}  // namespace tarnex
