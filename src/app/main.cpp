#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/network_manager_app.h"
#include "platform/open_file_limit.h"

namespace {

std::vector<std::string> ArgumentsOf(int argc, char* argv[]) {
  return std::vector<std::string>(argv, argv + argc);
}

QIcon ConsoleIcon() {
  QIcon ownIcon;
  for (const char* size : {"48x48", "256x256"}) {
    ownIcon.addFile(
        QStringLiteral(":/icons/%1/apps/" TARNEX_APP_ID ".png").arg(QLatin1String(size)));
  }
  return QIcon::fromTheme(QStringLiteral(TARNEX_APP_ID), ownIcon);
}

std::vector<std::string> ArgumentsLeftByQt() {
  std::vector<std::string> left;
  for (const QString& argument : QCoreApplication::arguments()) {
    left.push_back(argument.toStdString());
  }
  return left;
}

}  // namespace

int main(int argc, char* argv[]) {
  switch (tarnex::ReadCommandLine(ArgumentsOf(argc, argv))) {
    case tarnex::CommandLineAction::kHelp:
      std::fputs(tarnex::ConsoleUsageText().c_str(), stdout);
      return 0;
    case tarnex::CommandLineAction::kVersion:
      std::fputs(tarnex::ConsoleVersionText().c_str(), stdout);
      return 0;
    case tarnex::CommandLineAction::kRun:
      break;
  }
  // A socket per display: a thousand displays need more than a desktop's usual soft limit.
  tarnex::RaiseOpenFileLimit();
  QApplication application(argc, argv);
  const std::string leftover = tarnex::LeftoverArgumentText(ArgumentsLeftByQt());
  if (!leftover.empty()) {
    std::fputs(leftover.c_str(), stderr);
    return 2;
  }
  // Ties the window to its desktop entry, whose icon and name the desktop then shows.
  QGuiApplication::setDesktopFileName(QStringLiteral(TARNEX_APP_ID));
  QApplication::setWindowIcon(ConsoleIcon());
  tarnex::COsprelNetworkManagerApp console;
  if (!console.InitInstance()) return console.ExitStatus();
  return console.Run();
}
