#include "app/command_line.h"

namespace tarnex {

CommandLineAction ReadCommandLine(const std::vector<std::string>& arguments) {
  for (size_t at = 1; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    // Past "--" nothing is an option any more.
    if (argument == "--") break;
    if (argument == "--help" || argument == "-h") return CommandLineAction::kHelp;
    if (argument == "--version") return CommandLineAction::kVersion;
  }
  return CommandLineAction::kRun;
}

std::string ConsoleUsageText() {
  return R"(Usage: tarnex-manager [--help] [--version] [Qt options]

The console for a fleet of projectors and large displays: after the login it connects the
displays of its configuration (TCP port 9761, or one RS-232 line) and controls them one by
one or a whole group at once.

  -h, --help     this text
  --version      the version
Qt's own options are accepted too, e.g. -platform NAME, -display DISPLAY, -style STYLE.

Environment:
  TARNEX_CONFIG_DIR      configuration and history folder
  TARNEX_TRACE=1         diagnostic traces to standard error
  TARNEX_BROADCAST_ADDR  address of the discovery broadcast (default 255.255.255.255)
  TARNEX_COM1..9         device a stored serial port name opens (default /dev/ttyS0..8)
  TARNEX_CODEPAGE        code page of text older installations stored (default CP1252)
  TARNEX_SMTP_CAFILE     CA certificates the alarm mail trusts instead of the system's

Files: QXMNTConfig.ini, QXMNTSerialConfig.ini, QXMNTLoginConfig.ini and the history reports
Network_HistoryReport.txt and Serial_HistoryReport.txt, in $TARNEX_CONFIG_DIR; otherwise in
the program's own folder when it is writable and the program is not installed; otherwise in
$XDG_CONFIG_HOME/tarnex-manager/ (default ~/.config/tarnex-manager/).
See tarnex-manager(1).
)";
}

std::string ConsoleVersionText() {
  return "tarnex-manager " TARNEX_VERSION "\n";
}

std::string LeftoverArgumentText(const std::vector<std::string>& argumentsAfterQt) {
  if (argumentsAfterQt.size() < 2) return {};
  return "tarnex-manager: unknown argument '" + argumentsAfterQt[1] + "' (see --help)\n";
}

}  // namespace tarnex
