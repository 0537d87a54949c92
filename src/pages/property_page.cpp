#include "pages/property_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVariant>

#include <mutex>

#include "monitor/page_flags.h"
#include "monitor/page_state.h"
#include "monitor/pjlink_readers.h"
#include "monitor/refresh_steps.h"

namespace tarnex {

CPropertyPage::CPropertyPage(CConsoleCore& core, PageKind kind, QWidget* parent)
    : QWidget(parent), m_core(core), m_kind(kind) {}

QIcon CPropertyPage::Icon() const {
  return {};
}

bool CPropertyPage::IsOnTop() {
  return DocInt(m_core, PageFlagOf(m_kind)) == 1;
}

void CPropertyPage::FocusTree() {
  if (m_tree != nullptr) m_tree->setFocus();
}

bool CPropertyPage::PjlinkOnly() {
  return LinksOfSelection(m_core).PjlinkOnly();
}

void CPropertyPage::ShowNativeOnly(QWidget* control, bool enabled, bool pjlinkOnly) {
  control->setEnabled(enabled && !pjlinkOnly);
  const QString reason = pjlinkOnly
                             ? QString::fromUtf8(kNotOverPjlinkText.data(),
                                                 static_cast<qsizetype>(kNotOverPjlinkText.size()))
                             : QString();
  control->setToolTip(reason);
  control->setAccessibleDescription(reason);
}

QGroupBox* CPropertyPage::Frame(const QString& title, std::initializer_list<QWidget*> controls) {
  auto* frame = new QGroupBox(title, this);
  auto* layout = new QHBoxLayout(frame);
  int stretch = 1;
  for (QWidget* control : controls) {
    const QVariant text = control->property("text");
    if (!text.isValid() || text.toString().isEmpty() || control->inherits("QLineEdit")) {
      control->setAccessibleName(title);
    }
    layout->addWidget(control, stretch);
    stretch = 0;
  }
  return frame;
}

void CPropertyPage::InitialiseOnce() {
  if (m_initialised) return;
  m_initialised = true;
  {
    auto state = m_core.Lock();
    RaisePageFlag(state->Doc(), m_kind);
  }
  OnInitPage();
}

void CPropertyPage::OnSetActive() {
  InitialiseOnce();
  if (m_tree != nullptr) m_tree->setFocus();
  {
    auto state = m_core.Lock();
    RaisePageFlag(state->Doc(), m_kind);
  }
  if (ShouldRefreshOnActivation(m_core)) Refresh();
  // The first activation shows what initialisation and the refresh put in the controls.
  if (m_activatedBefore) ShowValues();
  m_activatedBefore = true;
}

}  // namespace tarnex
