#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "console/selection.h"
#include "display-sim/pjlink_display.h"
#include "support/console_fixture.h"

namespace tarnex::testing {

// The console fixture with some of its stored displays reached over PJLink.
class PjlinkFixture : public ConsoleFixture {
 protected:
  // One PJLink display at `address`, the only one of the table, connected and greeted.
  DisplayId BuildOne(const std::string& address, const std::string& password = {}) {
    Configure({address});
    MakePjlink(0, password);
    core->BuildTree();
    return core->Lock()->IdAt(0);
  }

  // PJLink displays with these options, the whole table in this order, connected and greeted.
  std::vector<sim::PjlinkDisplay*> BuildPjlinkFleet(const std::vector<sim::PjlinkOptions>& all) {
    std::vector<std::string> addresses;
    std::vector<sim::PjlinkDisplay*> displays;
    for (const sim::PjlinkOptions& options : all) {
      addresses.push_back(options.address);
      displays.push_back(&fleet.AddPjlink(options));
    }
    Configure(addresses);
    for (size_t row = 0; row < all.size(); ++row) MakePjlink(static_cast<int>(row));
    core->BuildTree();
    return displays;
  }

  // A copy, so that nothing holds the lock while the test looks at it.
  PjlinkFacts Facts(DisplayId id) {
    auto state = core->Lock();
    const DisplayFacts* facts = state->FactsOf(id);
    return facts != nullptr ? facts->pjlink : PjlinkFacts{};
  }
  bool Up(int row) { return core->Lock()->Doc().m_docConnectState[static_cast<size_t>(row)] == 1; }

  // How many lines of the network history hold the text.
  long CountOperations(const std::string& text) const {
    const std::vector<std::string> lines = Operations();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    });
  }
  long CountCommands(const std::string& address, const std::string& command) {
    const std::vector<std::string> sent = fleet.CommandsTo(address);
    return std::count(sent.begin(), sent.end(), command);
  }
};

}  // namespace tarnex::testing
