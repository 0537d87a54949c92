#include "pages/property_sheet.h"

#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include "monitor/page_flags.h"
#include "monitor/page_state.h"
#include "pages/control_page.h"

namespace tarnex {

CMyPropertySheet::CMyPropertySheet(CConsoleCore& core, QWidget* parent)
    : QWidget(parent), m_core(core), m_tabs(new QTabWidget(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_tabs);
  AddPage(new CControl(core, this));
  // The first tab is on top at the start, as the operator knows the sheet.
  m_tabs->setCurrentIndex(0);
  connect(m_tabs, &QTabWidget::currentChanged, this, &CMyPropertySheet::OnCurrentChanged);
  OnCurrentChanged(m_tabs->currentIndex());
}

// Tabs keep the fixed order of the page kinds, whatever order the pages are built in.
void CMyPropertySheet::AddPage(CPropertyPage* page) {
  m_pages[TabOrder(page->Kind())] = page;
  int index = 0;
  for (PageKind kind = PageKind::kInformation; kind != page->Kind();
       kind = static_cast<PageKind>(TabOrder(kind) + 1)) {
    if (Page(kind) != nullptr) ++index;
  }
  m_tabs->insertTab(index, page, page->Icon(), page->Title());
}

CControl* CMyPropertySheet::Control() const {
  return static_cast<CControl*>(Page(PageKind::kControl));
}

// The page on top was activated before the tree existed; the focus it gives the tree on
// activation is given now, so the operator starts in the tree.
void CMyPropertySheet::SetTreeWidget(QWidget* tree) {
  for (CPropertyPage* page : m_pages) {
    if (page != nullptr) page->SetTreeWidget(tree);
  }
  if (tree != nullptr) tree->setFocus();
}

void CMyPropertySheet::ShowPage(PageKind kind) {
  if (CPropertyPage* page = Page(kind)) m_tabs->setCurrentWidget(page);
}

void CMyPropertySheet::OnCurrentChanged(int index) {
  if (auto* page = static_cast<CPropertyPage*>(m_tabs->widget(index))) page->OnSetActive();
}

// The selection handling may ask from the console's worker (a connect that succeeded); the
// pages are read on the UI thread, which hands their reads to the worker in turn.
void CMyPropertySheet::RefreshActivePage() {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this] { RefreshActivePage(); }, Qt::QueuedConnection);
    return;
  }
  for (PageKind kind : kRefreshOrder) {
    CPropertyPage* page = Page(kind);
    if (page != nullptr && DocInt(m_core, PageFlagOf(kind)) == 1) page->Refresh();
  }
}

}  // namespace tarnex
