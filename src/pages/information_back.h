#pragma once

#include <QTabWidget>

#include "pages/information_group.h"
#include "pages/information_page.h"
#include "pages/property_page.h"

namespace tarnex {

// The sheet inside the Information tab: the state of one display ("Display") and the list of
// a group's members ("Group"). Activating an inner page raises its flags and reads.
//
// Threads: UI thread only.
class CMyPropertySheetInformation : public QTabWidget {
 public:
  enum Page { kSingle = 0, kGroup = 1 };

  CMyPropertySheetInformation(CConsoleCore& core, QWidget* parent = nullptr);

  // Brings page n on top (0 the display, 1 the group), unless it is on top already.
  void ShowPage(int n);
  // The page on top is activated: its flags, and its read of the selection.
  void ActivateCurrent();

  CInformation* Information() const { return m_information; }
  CInformationGroup* Group() const { return m_group; }
  // Inner tab changes activate their page only while this sheet is shown: otherwise the
  // outer activation does.
  void SetShown(bool shown) { m_shown = shown; }

 private:
  CInformation* m_information;
  CInformationGroup* m_group;
  bool m_shown = false;
};

// The first tab of the control sheet, hosting the information sheet. On activation the tree
// takes the focus and the information sheet's page on top is activated.
class CInformationBack : public CPropertyPage {
 public:
  explicit CInformationBack(CConsoleCore& core, QWidget* parent = nullptr);

  QString Title() const override;
  QIcon Icon() const override;
  // The refresh fan-out: the display page re-reads while it is on top.
  void Refresh() override;
  void OnSetActive() override;
  void ShowValues() override {}
  void ReadControls() override {}

  CMyPropertySheetInformation* Sheet() const { return m_sheet; }
  // The tab of the control sheet changed away from this page.
  void OnHidden() { m_sheet->SetShown(false); }

 protected:
  void OnInitPage() override {}

 private:
  CMyPropertySheetInformation* m_sheet;
};

}  // namespace tarnex
