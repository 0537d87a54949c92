#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "display-sim/command_log.h"
#include "display-sim/display_options.h"
#include "display-sim/event_loop.h"
#include "display-sim/pjlink_display.h"
#include "display-sim/pjlink_options.h"
#include "display-sim/sim_display.h"

namespace tarnex::sim {

// A set of simulated displays sharing one command log and one event loop thread: what
// integration tests start in process and what the display-sim program runs.
class DisplayFleet {
 public:
  // logPath: when not empty, one line per command is appended to that file as well.
  explicit DisplayFleet(std::string logPath = {});
  ~DisplayFleet();  // stops every display, then the loop
  DisplayFleet(const DisplayFleet&) = delete;
  DisplayFleet& operator=(const DisplayFleet&) = delete;

  // Starts serving at once (unless options.refuse). Throws like SimDisplay's constructor.
  SimDisplay& Add(const DisplayOptions& options);
  // A PJLink display, logging to the same log. Throws like PjlinkDisplay's constructor.
  PjlinkDisplay& AddPjlink(const PjlinkOptions& options);
  // The first display with this address, or nullptr.
  SimDisplay* Find(std::string_view address);

  // Every command received, in arrival order.
  std::vector<LogEntry> Log() const;
  std::vector<std::string> CommandsTo(std::string_view address) const;
  void ClearLog();

 private:
  CommandLog log_;
  EventLoop loop_;
  mutable std::mutex mutex_;
  // After log_ and loop_: displays write to the one and are served by the other.
  std::vector<std::unique_ptr<SimDisplay>> displays_;
  std::vector<std::unique_ptr<PjlinkDisplay>> pjlinks_;
};

}  // namespace tarnex::sim
