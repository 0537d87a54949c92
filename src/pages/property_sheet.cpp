#include "pages/property_sheet.h"

#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include "monitor/page_flags.h"
#include "monitor/page_state.h"
#include "pages/advanced_page.h"
#include "pages/control_page.h"
#include "pages/information_back.h"
#include "pages/picture_page.h"
#include "pages/special_page.h"
#include "platform/ui_thread.h"

namespace tarnex {

CMyPropertySheet::CMyPropertySheet(CConsoleCore& core, QWidget* parent)
    : QWidget(parent), m_core(core), m_tabs(new QTabWidget(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_tabs);
  // Five tabs share the pane: they narrow to fit rather than hide behind scroll arrows, so Tab
  // from the tree still lands on the tab bar and every tab stays in view.
  m_tabs->setUsesScrollButtons(false);
  m_tabs->setElideMode(Qt::ElideRight);
  AddPage(new CInformationBack(core, this));
  auto* control = new CControl(core, this);
  AddPage(control);
  for (CMenuPage* page : {static_cast<CMenuPage*>(new CAV(core, this)),
                          static_cast<CMenuPage*>(new CScreen(core, this)),
                          static_cast<CMenuPage*>(new COption(core, this))}) {
    // The link check of these pages finds the input the Control page shows next.
    page->SetInputSink([control](int position) { control->StoreInputPosition(position); });
    AddPage(page);
  }
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

CInformationBack* CMyPropertySheet::InformationBack() const {
  return static_cast<CInformationBack*>(Page(PageKind::kInformation));
}

CInformationGroup* CMyPropertySheet::Group() const {
  return InformationBack()->Sheet()->Group();
}

void CMyPropertySheet::SetRowIcons(std::function<QIcon(TreeIcon)> icons) {
  Group()->SetIcons(std::move(icons));
}

void CMyPropertySheet::OnCurrentChanged(int index) {
  if (m_tabs->widget(m_currentTab) == InformationBack()) InformationBack()->OnHidden();
  m_currentTab = index;
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
  int groupMembers = -1;
  {
    auto state = m_core.Lock();
    const DeviceTree& tree = state->Tree();
    const TreeItem selected = tree.ViewState().m_hSelectedItem;
    if (state->Doc().m_docGroupPageActive == 1 && selected != kNoItem &&
        tree.Model().Parent(selected) == tree.GroupRoot()) {
      groupMembers = tree.Model().ChildCount(selected);
    }
  }
  if (groupMembers >= 0) RefreshGroupStatus(groupMembers);
}

void CMyPropertySheet::SelectionChanged() {
  for (CPropertyPage* page : m_pages) {
    if (page != nullptr) page->ForgetValues();
  }
}

bool CMyPropertySheet::GroupStatusActive() const {
  return DocInt(m_core, &COsprelNetworkManagerDoc::m_docGroupPageActive) == 1;
}

void CMyPropertySheet::RefreshGroupStatus(int memberCount) {
  Group()->RefreshGroupStatus(memberCount);
}

void CMyPropertySheet::SetGroupMemberCount(int memberCount) {
  Group()->SetMemberCount(memberCount);
}

// The supervision worker's thread: it waits here for the re-read, which runs as a console job;
// the rows go to the window queued.
void CMyPropertySheet::GroupDiagnosis(int memberCount) {
  Group()->DiagnoseGroup(memberCount);
}

// The inner page first, so that bringing the Information tab up activates the group page and
// not the display's.
void CMyPropertySheet::ShowGroupStatus(int memberCount) {
  ExpectOnUiThread("the group page shown by Connect");
  SetGroupMemberCount(memberCount);
  CMyPropertySheetInformation* sheet = InformationBack()->Sheet();
  const bool onTop = m_tabs->currentWidget() == InformationBack() &&
                     sheet->currentIndex() == CMyPropertySheetInformation::kGroup;
  if (onTop) {
    RefreshGroupStatus(memberCount);
    return;
  }
  sheet->ShowPage(CMyPropertySheetInformation::kGroup);
  ShowPage(PageKind::kInformation);
}

}  // namespace tarnex
