#pragma once

#include <QKeyEvent>

namespace tarnex {

// The console's dialogs end only by their buttons: Enter and Escape are taken here and do
// nothing. True when the key was taken.
inline bool SwallowEnterAndEscape(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();
      return true;
    default:
      return false;
  }
}

}  // namespace tarnex
