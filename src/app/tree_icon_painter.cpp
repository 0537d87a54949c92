#include "app/tree_icon_painter.h"

#include <QPainter>
#include <array>

namespace tarnex {
namespace {

constexpr int kSize = 16;
const QColor kBezel(64, 64, 64);
const QColor kStand(96, 96, 96);

// A monitor in the box `frame`: bezel, screen of the given colour, and a stand when there is
// room for one below.
void DrawMonitor(QPainter& painter, const QRect& frame, const QColor& screen) {
  const int standHeight = frame.height() >= 12 ? 3 : 1;
  const QRect body(frame.left(), frame.top(), frame.width(), frame.height() - standHeight);
  painter.fillRect(body, kBezel);
  painter.fillRect(body.adjusted(1, 1, -1, -1), screen);
  const int centre = frame.left() + frame.width() / 2;
  if (standHeight > 1) {
    painter.fillRect(QRect(centre - 1, body.bottom() + 1, 2, 1), kStand);
    painter.fillRect(QRect(frame.left() + 2, frame.bottom() - 1, frame.width() - 4, 2), kStand);
  } else {
    painter.fillRect(QRect(centre - 1, frame.bottom(), 2, 1), kStand);
  }
}

void DrawBrackets(QPainter& painter) {
  painter.setPen(QPen(kBezel, 1));
  painter.drawLine(1, 2, 1, 13);
  painter.drawLine(1, 2, 3, 2);
  painter.drawLine(1, 13, 3, 13);
  painter.drawLine(14, 2, 14, 13);
  painter.drawLine(12, 2, 14, 2);
  painter.drawLine(12, 13, 14, 13);
}

void DrawIcon(QPainter& painter, TreeIcon icon) {
  const QColor grey(176, 176, 176);
  const QColor cyan(0, 224, 240);
  switch (icon) {
    case TreeIcon::kSingleRoot:
      DrawMonitor(painter, QRect(1, 1, 14, 14), grey);
      break;
    case TreeIcon::kConnected:
      DrawMonitor(painter, QRect(1, 1, 14, 14), cyan);
      break;
    case TreeIcon::kWarning:
      DrawMonitor(painter, QRect(1, 1, 14, 14), QColor(255, 220, 0));
      break;
    case TreeIcon::kDisconnected:
      DrawMonitor(painter, QRect(1, 1, 14, 14), QColor(230, 0, 0));
      break;
    case TreeIcon::kGroup:
      DrawBrackets(painter);
      DrawMonitor(painter, QRect(4, 3, 4, 5), cyan);
      DrawMonitor(painter, QRect(8, 3, 4, 5), cyan);
      DrawMonitor(painter, QRect(4, 8, 4, 5), cyan);
      DrawMonitor(painter, QRect(8, 8, 4, 5), cyan);
      break;
    case TreeIcon::kGroupRoot:
      DrawMonitor(painter, QRect(0, 0, 8, 8), grey);
      DrawMonitor(painter, QRect(8, 0, 8, 8), grey);
      DrawMonitor(painter, QRect(0, 8, 8, 8), grey);
      DrawMonitor(painter, QRect(8, 8, 8, 8), grey);
      break;
  }
}

}  // namespace

QPixmap TreeIconPixmap(TreeIcon icon) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  DrawIcon(painter, icon);
  return pixmap;
}

TreeIconSet::TreeIconSet() {
  for (int i = 0; i < kTreeIconCount; ++i) {
    m_pixmaps[static_cast<size_t>(i)] = TreeIconPixmap(static_cast<TreeIcon>(i));
  }
}

QIcon TreeIconSet::Icon(TreeImages images) const {
  QIcon icon;
  icon.addPixmap(Pixmap(images.normal), QIcon::Normal);
  icon.addPixmap(Pixmap(images.selected), QIcon::Selected);
  return icon;
}

QPixmap TreeIconSet::Pixmap(TreeIcon icon) const {
  const auto index = static_cast<size_t>(icon);
  return index < m_pixmaps.size() ? m_pixmaps[index] : QPixmap();
}

}  // namespace tarnex
