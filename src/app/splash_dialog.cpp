#include "app/splash_dialog.h"

#include <QApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "app/operator_messages.h"

namespace tarnex {
namespace {

constexpr QSize kSplashSize(400, 240);

}  // namespace

CSplashDlg::CSplashDlg(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setWindowTitle(QString::fromLatin1(kApplicationTitle));
  setFixedSize(kSplashSize);
  m_timer.setSingleShot(true);
  m_timer.setInterval(kLifetimeMs);
  connect(&m_timer, &QTimer::timeout, this, &CSplashDlg::Dismiss);
}

CSplashDlg::~CSplashDlg() {
  if (m_filtering) qApp->removeEventFilter(this);
}

void CSplashDlg::Start() {
  CentreOnScreen();
  show();
  raise();
  qApp->installEventFilter(this);
  m_filtering = true;
  m_timer.start();
}

void CSplashDlg::Dismiss() {
  if (m_dismissed) return;
  m_dismissed = true;
  m_timer.stop();
  if (m_filtering) qApp->removeEventFilter(this);
  m_filtering = false;
  hide();
  if (m_onDismissed) m_onDismissed();
  deleteLater();
}

void CSplashDlg::Hold(const QString& note) {
  if (m_dismissed) return;
  m_held = true;
  m_note = note;
  m_timer.stop();
  setAccessibleDescription(note);
  update();
}

void CSplashDlg::Release() {
  if (m_dismissed || !m_held) return;
  m_held = false;
  m_note.clear();
  setAccessibleDescription({});
  update();
  m_timer.start();
}

// Key presses and left, right or middle button presses, on a window's client area or its
// frame, end the splash; everything else goes on as usual.
bool CSplashDlg::DismissesSplash(const QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress: {
      const Qt::MouseButton button = static_cast<const QMouseEvent*>(event)->button();
      return button == Qt::LeftButton || button == Qt::RightButton || button == Qt::MiddleButton;
    }
    default:
      return false;
  }
}

bool CSplashDlg::eventFilter(QObject* watched, QEvent* event) {
  if (m_dismissed || !DismissesSplash(event)) return QWidget::eventFilter(watched, event);
  if (!m_held) Dismiss();
  return true;
}

void CSplashDlg::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  QLinearGradient background(0, 0, 0, height());
  background.setColorAt(0.0, QColor(24, 52, 96));
  background.setColorAt(1.0, QColor(8, 16, 36));
  painter.fillRect(rect(), background);
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setPointSize(22);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(rect(), Qt::AlignCenter, windowTitle());
  if (m_note.isEmpty()) return;
  font.setPointSize(10);
  font.setBold(false);
  painter.setFont(font);
  painter.drawText(rect().adjusted(16, 0, -16, -24),
                   Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap, m_note);
}

void CSplashDlg::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = geometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

}  // namespace tarnex
