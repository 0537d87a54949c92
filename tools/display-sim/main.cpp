// display-sim: simulated displays for development and tests.

#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "display-sim/display_fleet.h"
#include "display-sim/program_options.h"
#include "display-sim/serial_line.h"
#include "display-sim/stop_signals.h"
#include "platform/open_file_limit.h"

namespace {

using tarnex::sim::DisplayFleet;
using tarnex::sim::ProgramOptions;
using tarnex::sim::SerialLine;
using tarnex::sim::SimDisplay;

// "display-sim: ready tcp ADDR:PORT ... serial LINK DEVICE", each part when served.
std::string ReadyLine(const std::vector<SimDisplay*>& displays, const SerialLine* line) {
  std::string ready = "display-sim: ready";
  if (!displays.empty()) ready += " tcp";
  for (const SimDisplay* display : displays) {
    ready += " " + display->Address() + ":" + std::to_string(display->Port());
  }
  if (line != nullptr) ready += " serial " + line->LinkPath() + " " + line->Path();
  return ready;
}

int Serve(const ProgramOptions& options) {
  // Before the fleet starts its threads, so that they inherit the blocked signals.
  const sigset_t stopSignals = tarnex::sim::BlockStopSignals();
  tarnex::RaiseOpenFileLimit();
  DisplayFleet fleet(options.displays.empty() ? std::string() : options.logPath);
  std::vector<SimDisplay*> displays;
  std::vector<SimDisplay*> unreachable;
  for (const auto& display : options.displays) {
    displays.push_back(&fleet.Add(display));
    if (display.unreachable) unreachable.push_back(displays.back());
  }
  // The serial line logs apart from the fleet; both append whole lines to the same file.
  std::unique_ptr<tarnex::sim::CommandLog> serialLog;
  std::unique_ptr<SerialLine> line;
  if (options.serial) {
    serialLog = std::make_unique<tarnex::sim::CommandLog>(options.logPath);
    line = std::make_unique<SerialLine>(*options.serial, *serialLog);
  }
  std::printf("%s\n", ReadyLine(displays, line.get()).c_str());
  std::fflush(stdout);
  while (tarnex::sim::WaitForSignal(stopSignals) == SIGUSR1) {
    for (SimDisplay* display : unreachable) display->SetUnreachable(false);
    std::printf("display-sim: reachable %zu\n", unreachable.size());
    std::fflush(stdout);
  }
  return 0;
}

// Said after the error that ran out of descriptors, so that the way out is plain.
std::string OutOfDescriptorsHint(const std::exception& error) {
  const auto* system = dynamic_cast<const std::system_error*>(&error);
  if (system == nullptr || (system->code() != std::errc::too_many_files_open &&
                            system->code() != std::errc::too_many_files_open_in_system)) {
    return {};
  }
  return " (open-file limit " + std::to_string(tarnex::OpenFileLimit()) +
         "; a display takes one descriptor, an unreachable one three: serve fewer or raise the "
         "hard limit, ulimit -Hn)";
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
    std::fprintf(stderr, "%s%s\n", error.what(), OutOfDescriptorsHint(error).c_str());
    return 1;
  }
}
