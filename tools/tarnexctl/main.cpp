#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/backup_file.h"
#include "ctl_arguments.h"
#include "direct_run.h"
#include "platform/config_folder.h"
#include "platform/open_file_limit.h"
#include "platform/owner_link.h"
#include "scripting/owner_client.h"

namespace {

using tarnex::ScriptReport;
using tarnex::ScriptRequest;
namespace script_exit = tarnex::script_exit;

int UsageError(const std::string& error) {
  std::fprintf(stderr, "tarnexctl: %s\nTry 'tarnexctl --help'.\n", error.c_str());
  return script_exit::kUsage;
}

// A restore's settings are read here: the owner never opens a path a client names.
std::string ReadRestoreFile(ScriptRequest& request) {
  const tarnex::BackupRead read = tarnex::ReadBackupFile(request.file);
  if (!read.readable) return "cannot read the backup file " + request.file;
  if (read.emptyKeys >= tarnex::kBackupEmptyLimit)
    return "not a settings backup (" + std::to_string(read.emptyKeys) +
           " settings missing): " + request.file;
  request.values = read.values;
  return {};
}

// Whoever owns the folder's display links runs the request: the console when it holds the
// lock, otherwise this process for the command's length.
ScriptReport Run(const ScriptRequest& request) {
  ScriptReport report;
  const tarnex::OwnerPathsResult paths = tarnex::OwnerPathsFor(tarnex::ConfigFolder());
  if (!paths.paths) {
    report.exit = script_exit::kInternal;
    report.errorCode = "internal";
    report.errorMessage = paths.error;
    return report;
  }
  tarnex::OwnerLock lock(paths.paths->lock);
  switch (lock.TryTake()) {
    case tarnex::OwnerLock::Outcome::kTaken:
      return tarnex::ctl::RunDirect(request);
    case tarnex::OwnerLock::Outcome::kHeld:
      return tarnex::AskOwner(paths.paths->socket, request);
    default:
      report.exit = script_exit::kInternal;
      report.errorCode = "internal";
      report.errorMessage = "cannot open the owner lock " + paths.paths->lock;
      return report;
  }
}

// The backup's file is written here, whole or not at all.
void WriteBackup(const ScriptRequest& request, ScriptReport& report) {
  if (request.verb != ScriptRequest::Verb::kBackup || !report.values) return;
  if (tarnex::WriteBackupFile(request.file, *report.values)) return;
  report.exit = script_exit::kInternal;
  report.errorCode = "internal";
  report.errorMessage = "cannot write the backup file " + request.file;
  for (auto& result : report.results) result.ok = false;
}

}  // namespace

int main(int argc, char* argv[]) {
  const tarnex::ctl::Arguments arguments =
      tarnex::ctl::ReadArguments(std::vector<std::string>(argv + 1, argv + argc));
  switch (arguments.action) {
    case tarnex::ctl::Arguments::Action::kHelp:
      std::fputs(tarnex::ctl::UsageText().c_str(), stdout);
      return 0;
    case tarnex::ctl::Arguments::Action::kVersion:
      std::fputs(tarnex::ctl::VersionText().c_str(), stdout);
      return 0;
    case tarnex::ctl::Arguments::Action::kUsageError:
      return UsageError(arguments.error);
    case tarnex::ctl::Arguments::Action::kRun:
      break;
  }
  // A script's pipe may close before the answer is written.
  ::signal(SIGPIPE, SIG_IGN);
  tarnex::RaiseOpenFileLimit();
  if (!arguments.configFolder.empty())
    ::setenv("TARNEX_CONFIG_DIR", arguments.configFolder.c_str(), 1);
  ScriptRequest request = arguments.request;
  if (request.verb == ScriptRequest::Verb::kRestore) {
    if (std::string error = ReadRestoreFile(request); !error.empty()) return UsageError(error);
  }
  ScriptReport report = Run(request);
  WriteBackup(request, report);
  const int exit = tarnex::ExitCodeOf(report);
  if (exit == script_exit::kUsage) return UsageError(report.errorMessage);
  if (arguments.json) {
    std::fputs(tarnex::ScriptDocument(request, report).c_str(), stdout);
  } else {
    std::fputs(tarnex::ScriptText(request, report).c_str(), stdout);
    if (!report.errorMessage.empty())
      std::fprintf(stderr, "tarnexctl: %s\n", report.errorMessage.c_str());
  }
  return std::fflush(stdout) == 0 ? exit : script_exit::kInternal;
}
