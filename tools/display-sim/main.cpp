// display-sim: simulated displays for development and tests.

#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "display-sim/display_fleet.h"
#include "display-sim/program_options.h"
#include "display-sim/serial_line.h"
#include "display-sim/stop_signals.h"

namespace {

using tarnex::sim::DisplayFleet;
using tarnex::sim::ProgramOptions;
using tarnex::sim::SerialLine;

// "display-sim: ready tcp ADDR:PORT ... serial LINK DEVICE", each part when served.
std::string ReadyLine(DisplayFleet& fleet, const ProgramOptions& options, const SerialLine* line) {
  std::string ready = "display-sim: ready";
  if (!options.displays.empty()) ready += " tcp";
  for (const auto& display : options.displays) {
    const auto* served = fleet.Find(display.address);
    ready += " " + display.address + ":" + std::to_string(served->Port());
  }
  if (line != nullptr) ready += " serial " + line->LinkPath() + " " + line->Path();
  return ready;
}

int Serve(const ProgramOptions& options) {
  // Before the fleet starts its threads, so that they inherit the blocked signals.
  const sigset_t stopSignals = tarnex::sim::BlockStopSignals();
  DisplayFleet fleet(options.displays.empty() ? std::string() : options.logPath);
  for (const auto& display : options.displays) fleet.Add(display);
  // The serial line logs apart from the fleet; both append whole lines to the same file.
  std::unique_ptr<tarnex::sim::CommandLog> serialLog;
  std::unique_ptr<SerialLine> line;
  if (options.serial) {
    serialLog = std::make_unique<tarnex::sim::CommandLog>(options.logPath);
    line = std::make_unique<SerialLine>(*options.serial, *serialLog);
  }
  std::printf("%s\n", ReadyLine(fleet, options, line.get()).c_str());
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
