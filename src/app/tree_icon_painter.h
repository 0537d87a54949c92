#pragma once

#include <QIcon>
#include <QPixmap>
#include <array>

#include "registry/tree_icons.h"

namespace tarnex {

// The six 16-pixel pictures of the device tree, drawn rather than loaded, on a transparent
// background. Needs a QGuiApplication.
QPixmap TreeIconPixmap(TreeIcon icon);

// The six pictures, drawn once for a view that shows many items.
class TreeIconSet {
 public:
  TreeIconSet();
  // An item's icon: its normal picture, and its selected picture for the selected state.
  QIcon Icon(TreeImages images) const;
  QPixmap Pixmap(TreeIcon icon) const;

 private:
  std::array<QPixmap, kTreeIconCount> m_pixmaps;
};

}  // namespace tarnex
