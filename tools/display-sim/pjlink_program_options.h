#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "display-sim/display_options.h"
#include "display-sim/pjlink_options.h"

namespace tarnex::sim {

// The PJLink flags of the display-sim command line, gathered while the arguments are read.
struct PjlinkCollected {
  std::vector<std::string> addresses;
  PjlinkOptions common;
  std::map<std::string, std::vector<std::string>> switchAddresses;  // flag -> addresses
};

// Takes args[i], and its value, when it is a --pjlink flag; i is then left on the last
// argument taken. Throws std::invalid_argument for a missing or bad value.
bool TakePjlinkFlag(const std::vector<std::string>& args, size_t& i, PjlinkCollected& collected);

// The native displays' faults that PJLink displays play as well.
bool PjlinkTakesFault(std::string_view flag);

std::set<std::string, std::less<>> PjlinkServed(const PjlinkCollected& collected);

// One display per --pjlink address, with --delay-ms and --split from `common` and the faults
// (flag -> addresses) that name it. Throws std::invalid_argument for a switch naming an
// address --pjlink does not serve, or --refuse and --unreachable naming the same one.
std::vector<PjlinkOptions> BuildPjlinkDisplays(
    const PjlinkCollected& collected, const std::map<std::string, std::vector<std::string>>& faults,
    const DisplayOptions& common);

std::string PjlinkUsageText();

}  // namespace tarnex::sim
