#pragma once

#include <QKeyEvent>
#include <QPushButton>
#include <initializer_list>

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

// No button of the dialog takes Enter for itself: a button that got the focus once would
// otherwise become the dialog's default and be pressed by Enter typed in a box.
inline void NoDefaultButtons(std::initializer_list<QPushButton*> buttons) {
  for (QPushButton* button : buttons) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
}

}  // namespace tarnex
