// display-sim: simulated displays for development and tests.

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "display-sim/discovery_responder.h"
#include "display-sim/display_fleet.h"
#include "display-sim/flap_cycle.h"
#include "display-sim/program_options.h"
#include "display-sim/serial_line.h"
#include "display-sim/stop_signals.h"
#include "platform/open_file_limit.h"

namespace {

using tarnex::sim::DisplayFleet;
using tarnex::sim::PjlinkDisplay;
using tarnex::sim::ProgramOptions;
using tarnex::sim::SerialLine;
using tarnex::sim::SimDisplay;

// "display-sim: ready tcp ADDR:PORT ... pjlink ADDR:PORT ... serial LINK DEVICE", each part
// when served.
std::string ReadyLine(const std::vector<SimDisplay*>& displays,
                      const std::vector<PjlinkDisplay*>& pjlinks, const SerialLine* line,
                      const ProgramOptions& options) {
  std::string ready = "display-sim: ready";
  if (!displays.empty()) ready += " tcp";
  for (const SimDisplay* display : displays) {
    ready += " " + display->Address() + ":" + std::to_string(display->Port());
  }
  if (!pjlinks.empty()) ready += " pjlink";
  for (const PjlinkDisplay* display : pjlinks) {
    ready += " " + display->Address() + ":" + std::to_string(display->Port());
  }
  if (line != nullptr) ready += " serial " + line->LinkPath() + " " + line->Path();
  if (options.udpPort) ready += " udp " + std::to_string(*options.udpPort);
  return ready;
}

// Each moving display takes its options to its new address; the old one refuses connects.
size_t ApplyMoves(const ProgramOptions& options, DisplayFleet& fleet,
                  tarnex::sim::DiscoveryResponder& responder) {
  size_t moved = 0;
  for (const auto& [address, destination] : options.moves) {
    for (const auto& display : options.displays) {
      if (display.address != address) continue;
      fleet.Find(address)->SetRefuse(true);
      auto moving = display;
      moving.address = destination;
      moving.refuse = false;
      fleet.Add(moving);
      responder.Move(address, destination);
      ++moved;
    }
  }
  return moved;
}

int Serve(const ProgramOptions& options) {
  // Before the fleet starts its threads, so that they inherit the blocked signals.
  const sigset_t stopSignals = tarnex::sim::BlockStopSignals();
  tarnex::RaiseOpenFileLimit();
  const bool fleetLogs = !options.displays.empty() || !options.pjlinks.empty();
  DisplayFleet fleet(fleetLogs ? options.logPath : std::string());
  std::vector<SimDisplay*> displays;
  std::vector<SimDisplay*> unreachable;
  for (const auto& display : options.displays) {
    displays.push_back(&fleet.Add(display));
    if (display.unreachable) unreachable.push_back(displays.back());
  }
  std::vector<PjlinkDisplay*> pjlinks;
  std::vector<PjlinkDisplay*> unreachablePjlinks;
  for (const auto& display : options.pjlinks) {
    pjlinks.push_back(&fleet.AddPjlink(display));
    if (display.unreachable) unreachablePjlinks.push_back(pjlinks.back());
  }
  // The serial line logs apart from the fleet; both append whole lines to the same file.
  std::unique_ptr<tarnex::sim::CommandLog> serialLog;
  std::unique_ptr<SerialLine> line;
  if (options.serial) {
    serialLog = std::make_unique<tarnex::sim::CommandLog>(options.logPath);
    line = std::make_unique<SerialLine>(*options.serial, *serialLog);
  }
  // Datagrams are logged with the fleet's commands.
  std::unique_ptr<tarnex::sim::CommandLog> udpLog;
  std::unique_ptr<tarnex::sim::DiscoveryResponder> responder;
  if (options.udpPort) {
    udpLog = std::make_unique<tarnex::sim::CommandLog>(options.logPath);
    responder = std::make_unique<tarnex::sim::DiscoveryResponder>(*options.udpPort, *udpLog);
    for (const auto& display : options.displays) {
      const auto mac = options.macs.find(display.address);
      responder->Add(display.address, mac != options.macs.end()
                                          ? mac->second
                                          : tarnex::sim::DerivedMac(display.address));
    }
  }
  std::unique_ptr<tarnex::sim::FlapCycle> flapping;
  if (options.flapSeconds > 0) {
    flapping = std::make_unique<tarnex::sim::FlapCycle>(displays,
                                                        std::chrono::seconds(options.flapSeconds));
  }
  std::printf("%s\n", ReadyLine(displays, pjlinks, line.get(), options).c_str());
  std::fflush(stdout);
  bool moved = false;
  for (;;) {
    const int signal = tarnex::sim::WaitForSignal(stopSignals);
    if (signal == SIGUSR1) {
      for (SimDisplay* display : unreachable) display->SetUnreachable(false);
      for (PjlinkDisplay* display : unreachablePjlinks) display->SetUnreachable(false);
      std::printf("display-sim: reachable %zu\n", unreachable.size() + unreachablePjlinks.size());
    } else if (signal == SIGUSR2) {
      std::printf("display-sim: moved %zu\n",
                  moved || !responder ? 0 : ApplyMoves(options, fleet, *responder));
      moved = true;
    } else {
      return 0;
    }
    std::fflush(stdout);
  }
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
