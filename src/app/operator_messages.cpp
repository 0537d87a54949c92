#include "app/operator_messages.h"

#include <QMessageBox>

namespace tarnex {

MessagePresenter ModalMessagePresenter() {
  return [](QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Ok, parent);
    box.exec();
  };
}

}  // namespace tarnex
