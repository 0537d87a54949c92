#include "pages/progress_bar.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

#include <algorithm>
#include <utility>

namespace tarnex {

CMyProgressBar::CMyProgressBar(QStatusBar* statusBar, QString idleText)
    : m_statusBar(statusBar), m_idleText(std::move(idleText)) {}

CMyProgressBar::~CMyProgressBar() {
  RemovePanel();
}

void CMyProgressBar::Create() {
  if (m_depth++ > 0) {
    SetPos(0);
    return;
  }
  m_pos = 0;
  ShowPanel();
}

void CMyProgressBar::SetPos(int percent) {
  m_pos = std::clamp(percent, 0, 100);
  if (m_bar == nullptr) return;
  m_bar->setValue(m_pos);
  // The UI thread is inside an exchange: paint now rather than at the next event loop turn.
  m_bar->repaint();
}

void CMyProgressBar::Destroy() {
  if (m_depth == 0) return;
  if (--m_depth > 0) return;
  m_pos = 0;
  RemovePanel();
  if (m_statusBar == nullptr) return;
  if (m_idleText.isEmpty()) {
    m_statusBar->clearMessage();
  } else {
    m_statusBar->showMessage(m_idleText);
  }
}

// The text, then the bar to the right of it, four blanks apart, filling the rest of the pane
// and inset by a tenth of its height.
void CMyProgressBar::ShowPanel() {
  if (m_statusBar == nullptr) return;
  m_statusBar->clearMessage();  // a temporary message would hide the panel
  auto* panel = new QWidget(m_statusBar);
  auto* layout = new QHBoxLayout(panel);
  const int inset = m_statusBar->height() / 10;
  layout->setContentsMargins(0, inset, 0, inset);
  layout->setSpacing(4 * QFontMetrics(panel->font()).horizontalAdvance(QLatin1Char(' ')));
  layout->addWidget(new QLabel(QStringLiteral("Please Wait..."), panel));
  m_bar = new QProgressBar(panel);
  m_bar->setRange(0, 100);
  m_bar->setValue(0);
  m_bar->setTextVisible(false);
  layout->addWidget(m_bar, 1);
  m_statusBar->addWidget(panel, 1);
  panel->show();
  m_panel = panel;
  m_statusBar->repaint();
}

void CMyProgressBar::RemovePanel() {
  m_bar = nullptr;
  if (m_panel == nullptr) return;
  if (m_statusBar != nullptr) m_statusBar->removeWidget(m_panel);
  delete m_panel.data();
  m_panel = nullptr;
}

}  // namespace tarnex
