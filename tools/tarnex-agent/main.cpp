#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "agent/site_agent.h"
#include "agent_arguments.h"
#include "platform/config_folder.h"
#include "platform/open_file_limit.h"
#include "platform/owner_link.h"

namespace {

int Fail(const std::string& why, int code) {
  std::fprintf(stderr, "tarnex-agent: %s\n", why.c_str());
  return code;
}

// The stop signals are taken by sigwait alone: every thread starts with them blocked.
sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  return signals;
}

}  // namespace

int main(int argc, char* argv[]) {
  using tarnex::agent::AgentArguments;
  AgentArguments arguments =
      tarnex::agent::ReadAgentArguments(std::vector<std::string>(argv + 1, argv + argc));
  switch (arguments.action) {
    case AgentArguments::Action::kHelp:
      std::fputs(tarnex::agent::AgentUsageText().c_str(), stdout);
      return 0;
    case AgentArguments::Action::kVersion:
      std::printf("tarnex-agent %s\n", TARNEX_VERSION);
      return 0;
    case AgentArguments::Action::kUsageError:
      return Fail(arguments.error + "\nTry 'tarnex-agent --help'.", 2);
    case AgentArguments::Action::kRun:
      break;
  }
  std::string error;
  arguments.options.broker.password =
      tarnex::agent::ReadBrokerPassword(arguments.passwordFile, error);
  if (!error.empty()) return Fail(error, 2);
  ::signal(SIGPIPE, SIG_IGN);
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  tarnex::RaiseOpenFileLimit();
  if (!arguments.configFolder.empty())
    ::setenv("TARNEX_CONFIG_DIR", arguments.configFolder.c_str(), 1);
  const tarnex::OwnerPathsResult paths = tarnex::OwnerPathsFor(tarnex::ConfigFolder());
  if (!paths.paths) return Fail(paths.error, 1);
  // One owner per folder: no window or direct tarnexctl run opens a second link to a display.
  tarnex::OwnerLock lock(paths.paths->lock);
  if (lock.TryTake() != tarnex::OwnerLock::Outcome::kTaken)
    return Fail("another console or agent owns the displays of " + tarnex::ConfigFolder(), 8);
  tarnex::COsprelNetworkManagerDoc doc;
  doc.OnNewDocument();
  arguments.options.ownerSocket = paths.paths->socket;
  tarnex::agent::SiteAgent agent(doc, arguments.options);
  if (!agent.Start(&error)) return Fail(error, 1);
  int signal = 0;
  sigwait(&signals, &signal);
  agent.Stop();
  return 0;
}
