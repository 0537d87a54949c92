// display-sim: simulated displays for development and tests.

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "display-sim/display_fleet.h"
#include "display-sim/program_options.h"
#include "display-sim/stop_signals.h"

namespace {

using tarnex::sim::DisplayFleet;
using tarnex::sim::ProgramOptions;

std::string ReadyLine(DisplayFleet& fleet, const ProgramOptions& options) {
  std::string line = "display-sim: ready tcp";
  for (const auto& display : options.displays) {
    const auto* served = fleet.Find(display.address);
    line += " " + display.address + ":" + std::to_string(served->Port());
  }
  return line;
}

int Serve(const ProgramOptions& options) {
  // Before the fleet starts its threads, so that they inherit the blocked signals.
  const sigset_t stopSignals = tarnex::sim::BlockStopSignals();
  DisplayFleet fleet(options.logPath);
  for (const auto& display : options.displays) fleet.Add(display);
  std::printf("%s\n", ReadyLine(fleet, options).c_str());
  std::fflush(stdout);
  tarnex::sim::WaitForStopSignal(stopSignals);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ProgramOptions options;
  try {
    options = tarnex::sim::ParseProgramOptions({argv + 1, argv + argc});
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "display-sim: %s (see --help)\n", error.what());
    return 2;
  }
  if (options.help) {
    std::fputs(tarnex::sim::UsageText().c_str(), stdout);
    return 0;
  }
  try {
    return Serve(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
