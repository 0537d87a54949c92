#pragma once

// The console's login answered from inside the process, as an operator would type it, for the
// programs that run the real application (tests/gui, tests/soak).

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/login_dialog.h"
#include "config/login_file.h"

namespace tarnex::testing {

// Calls `step` on the UI thread every 10 ms until it returns true.
template <typename Step>
void RepeatOnUi(Step step) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
    if (step()) timer->deleteLater();
  });
  timer->start(10);
}

// Once the login dialog is up, the default ID and password are typed and OK pressed.
inline void TypeDefaultLogin() {
  RepeatOnUi([] {
    auto* login = dynamic_cast<CLoginDlg*>(QApplication::activeModalWidget());
    if (login == nullptr) return false;
    login->IdEdit()->setText(QString::fromLatin1(kDefaultLoginId));
    login->PasswordEdit()->setText(QString::fromLatin1(kDefaultLoginPassword));
    login->OkButton()->click();
    return true;
  });
}

}  // namespace tarnex::testing
