#pragma once

#include <string>
#include <vector>

#include "display-sim/display_options.h"

namespace tarnex::sim {

// The command line of the display-sim program. Transports are separate sections (TCP now;
// a serial line can be added beside `displays` without touching the rest).
struct ProgramOptions {
  std::vector<DisplayOptions> displays;  // one per --tcp address
  std::string logPath;
  bool help = false;
};

// Parses the arguments after the program name. Throws std::invalid_argument with a message
// for the user: unknown flag, missing or bad value, an address outside 127.0.0.0/8, a fault
// naming an address that --tcp does not serve.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

std::string UsageText();

}  // namespace tarnex::sim
