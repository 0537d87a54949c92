#include "pages/information_back.h"

#include <QStyle>
#include <QVBoxLayout>

namespace tarnex {

CMyPropertySheetInformation::CMyPropertySheetInformation(CConsoleCore& core, QWidget* parent)
    : QTabWidget(parent),
      m_information(new CInformation(core, this)),
      m_group(new CInformationGroup(core, this)) {
  setObjectName(QStringLiteral("informationSheet"));
  addTab(m_information, QStringLiteral("Display"));
  addTab(m_group, QStringLiteral("Group"));
  setCurrentIndex(kSingle);
  connect(this, &QTabWidget::currentChanged, this, [this] {
    if (m_shown) ActivateCurrent();
  });
}

void CMyPropertySheetInformation::ShowPage(int n) {
  if (n != currentIndex()) setCurrentIndex(n);
}

void CMyPropertySheetInformation::ActivateCurrent() {
  if (currentIndex() == kGroup) {
    m_group->OnSetActive();
  } else {
    m_information->OnSetActive();
  }
}

CInformationBack::CInformationBack(CConsoleCore& core, QWidget* parent)
    : CPropertyPage(core, PageKind::kInformation, parent),
      m_sheet(new CMyPropertySheetInformation(core, this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_sheet);
}

QString CInformationBack::Title() const {
  return QStringLiteral("Information");
}

QIcon CInformationBack::Icon() const {
  return style()->standardIcon(QStyle::SP_MessageBoxInformation);
}

void CInformationBack::Refresh() {
  m_sheet->Information()->RefreshInformation();
}

void CInformationBack::OnSetActive() {
  FocusTree();
  m_sheet->SetShown(true);
  m_sheet->ActivateCurrent();
}

}  // namespace tarnex
