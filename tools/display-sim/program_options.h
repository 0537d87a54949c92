#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "display-sim/display_options.h"
#include "display-sim/pjlink_options.h"
#include "display-sim/serial_line_options.h"

namespace tarnex::sim {

// The command line of the display-sim program. Transports are separate sections: TCP
// displays, PJLink displays and one serial line, any of them.
struct ProgramOptions {
  std::vector<DisplayOptions> displays;  // one per --tcp address
  std::vector<PjlinkOptions> pjlinks;    // one per --pjlink address
  std::optional<SerialLineOptions> serial;
  std::string logPath;
  // --udp[=PORT]: the TCP displays answer the search datagram on this port.
  std::optional<uint16_t> udpPort;
  std::map<std::string, std::string> macs;                 // --mac ADDR=MAC
  std::vector<std::pair<std::string, std::string>> moves;  // --move ADDR=NEW, on SIGUSR2
  int flapSeconds = 0;  // --flap SECONDS: every TCP display flaps with this period (0 = never)
  bool help = false;
};

// Parses the arguments after the program name. Throws std::invalid_argument with a message
// for the user: unknown flag, missing or bad value, an address outside 127.0.0.0/8, a fault
// naming an address that --tcp does not serve, a serial line without set IDs or set IDs
// without a serial line, a set ID outside 1..99.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

std::string UsageText();

}  // namespace tarnex::sim
