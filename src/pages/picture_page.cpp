#include "pages/picture_page.h"

#include <QLineEdit>
#include <QPalette>
#include <QStyle>

#include "monitor/picture_tables.h"

namespace tarnex {

CAV::CAV(CConsoleCore& core, QWidget* parent)
    : CMenuPage(core, PageKind::kPicture, picture::kSettings, ReadPicturePage, parent) {
  ShowExpertBoxes();
}

QString CAV::Title() const {
  return QStringLiteral("Picture menu");
}

QIcon CAV::Icon() const {
  return style()->standardIcon(QStyle::SP_DesktopIcon);
}

void CAV::ApplyEnabled(bool enabled) {
  for (int setting = 0; setting < SettingCount(); ++setting) SetSettingEnabled(setting, enabled);
}

// The display applies the values of the new mode: they are read back at once.
void CAV::AfterChoice(int setting, bool sent) {
  if (setting != picture::kMode || !sent) return;
  m_lastMode = Value(picture::kMode);
  ShowExpertBoxes();
  Refresh();
}

void CAV::AfterReadings(const MenuReadings& readings) {
  if (const auto& mode = readings.values[picture::kMode]) m_lastMode = *mode;
  ShowExpertBoxes();
}

void CAV::ShowExpertBoxes() {
  const bool expert = picture::IsExpertMode(m_lastMode);
  for (int setting : {picture::kContrast, picture::kBrightness, picture::kSharpness}) {
    QLineEdit* box = Box(setting);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, expert ? QColor(Qt::white)
                                            : style()->standardPalette().color(QPalette::Button));
    box->setPalette(palette);
  }
}

}  // namespace tarnex
