#include <QApplication>

#include "app/network_manager_app.h"
#include "app/termination_signals.h"
#include "platform/open_file_limit.h"

int main(int argc, char* argv[]) {
  // A socket per display: a thousand displays need more than a desktop's usual soft limit.
  tarnex::RaiseOpenFileLimit();
  QApplication application(argc, argv);
  tarnex::COsprelNetworkManagerApp console;
  if (!console.InitInstance()) return console.ExitStatus();
  const tarnex::TerminationSignals endOfSession([&console] {
    if (console.MainFrame() != nullptr) console.MainFrame()->close();
  });
  const int status = QApplication::exec();
  return status != 0 ? status : console.ExitStatus();
}
