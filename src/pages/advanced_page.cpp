#include "pages/advanced_page.h"

#include <QStyle>

#include "monitor/advanced_tables.h"

namespace tarnex {

CScreen::CScreen(CConsoleCore& core, QWidget* parent)
    : CMenuPage(core, PageKind::kAdvanced, advanced::kSettings, ReadAdvancedPage, parent) {
  for (int gain : {advanced::kRed, advanced::kGreen, advanced::kBlue}) {
    SetSettingEnabled(gain, false);
  }
}

QString CScreen::Title() const {
  return QStringLiteral("Advanced menu");
}

QIcon CScreen::Icon() const {
  return style()->standardIcon(QStyle::SP_FileDialogDetailedView);
}

void CScreen::ApplyEnabled(bool enabled) {
  SetSettingEnabled(advanced::k3d, enabled);
  SetSettingEnabled(advanced::k3dLeftRight, enabled);
}

void CScreen::AfterChoice(int setting, bool sent) {
  if (setting == advanced::kColourTemperature && sent) {
    m_lastColourTemperature = Value(setting);
  }
}

}  // namespace tarnex
