#pragma once

#include <QIcon>
#include <QWidget>

#include <array>
#include <functional>

#include "console/console_core.h"
#include "console/page_host.h"
#include "monitor/page_kind.h"

class QTabWidget;

namespace tarnex {

class CControl;
class CInformationBack;
class CInformationGroup;
class CPropertyPage;

// The tabbed control pages in the right-hand frame of the main view. Each page exists once
// for the whole run; the sheet finds them for the view and for each other.
//
// Embedding: the view creates it with the console core, places it in its right-hand frame,
// gives it the tree widget (SetTreeWidget) and passes it as the PageHost of the selection
// handling and the supervision.
//
// Threads: UI thread, like every widget. The PageHost calls of the selection handling come on
// the UI thread.
class CMyPropertySheet : public QWidget, public PageHost {
 public:
  CMyPropertySheet(CConsoleCore& core, QWidget* parent = nullptr);

  // PageHost: the page on top re-reads the selected display, on the console's worker after
  // whatever it runs already. Any thread.
  void RefreshActivePage() override;
  void SelectionChanged() override;
  // PageHost, the group list: whether it is on top (any thread), its rebuild, the selected
  // group's member count, the Connect command's showing of it (UI thread), and the rebuild of
  // a supervision pass, which reads on the calling worker.
  bool GroupStatusActive() const override;
  void RefreshGroupStatus(int memberCount) override;
  void SetGroupMemberCount(int memberCount) override;
  void GroupDiagnosis(int memberCount) override;
  void ShowGroupStatus(int memberCount) override;

  // The pictures of the tree's icons, for the rows of the group list.
  void SetRowIcons(std::function<QIcon(TreeIcon)> icons);

  // The device tree, which takes the focus back whenever a page becomes active.
  void SetTreeWidget(QWidget* tree);

  // The page of that kind, or null while it is not built.
  CPropertyPage* Page(PageKind kind) const { return m_pages[TabOrder(kind)]; }
  CControl* Control() const;
  CInformationBack* InformationBack() const;
  CInformationGroup* Group() const;
  QTabWidget* Tabs() const { return m_tabs; }
  // Brings the page on top, as if the operator had clicked its tab.
  void ShowPage(PageKind kind);

 private:
  void AddPage(CPropertyPage* page);
  void OnCurrentChanged(int index);

  CConsoleCore& m_core;
  QTabWidget* m_tabs;
  int m_currentTab = -1;
  std::array<CPropertyPage*, kPageCount> m_pages{};
};

}  // namespace tarnex
