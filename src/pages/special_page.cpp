#include "pages/special_page.h"

#include <QStyle>

#include "monitor/special_tables.h"

namespace tarnex {

COption::COption(CConsoleCore& core, QWidget* parent)
    : CMenuPage(core, PageKind::kSpecial, special::kSettings, ReadSpecialPage, parent) {}

QString COption::Title() const {
  return QStringLiteral("Special menu");
}

QIcon COption::Icon() const {
  return style()->standardIcon(QStyle::SP_FileDialogContentsView);
}

}  // namespace tarnex
