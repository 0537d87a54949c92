#include "app/operator_messages.h"

#include <QMessageBox>
#include <QStringList>

namespace tarnex {

MessagePresenter ModalMessagePresenter() {
  return [](QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Ok, parent);
    box.exec();
  };
}

QString SaveFailureText(const std::vector<std::string>& paths) {
  QStringList lines;
  for (const std::string& path : paths) lines << QString::fromStdString(path);
  const QString text = QStringLiteral("The configuration could not be saved to");
  if (lines.size() == 1) return text + ' ' + lines.front();
  return text + ":\n" + lines.join('\n');
}

}  // namespace tarnex
