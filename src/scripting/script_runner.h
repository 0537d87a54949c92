#pragma once

#include <chrono>
#include <memory>

#include "console/console_core.h"
#include "scripting/schedule_command.h"
#include "scripting/script_report.h"
#include "scripting/script_request.h"
#include "scripting/target_names.h"

namespace tarnex {

struct ScriptRunOptions {
  std::chrono::steady_clock::time_point deadline;
  // Whether the links and the tree are what the owner keeps up (the console), or were never
  // made (a direct run lists without connecting, and names from the stored tables).
  bool linksKnown = true;
  // A direct run connects the displays it names before its first step.
  std::function<void(const std::vector<NamedTarget>&)> connect;
  // Who answers the schedule commands.
  ScheduleCommandContext schedules{};
  // The names are resolved against this, made once for the requests of one moment (the
  // entries due in one minute), instead of a directory made for this request alone.
  std::shared_ptr<const FleetDirectory> directory{};
};

// Accepts a request: its names resolved once, under the lock, into display identities; then
// runs it as console jobs under the named displays' leases, beside the operator's work and
// without touching the selection, and waits for them here with the request's deadline. Blocks
// the calling thread: a connection's own thread or tarnexctl's, never the UI thread and never
// a worker (the waits stay off the scheduler's workers).
ScriptReport AcceptAndRun(CConsoleCore& core, const ScriptRequest& request,
                          const ScriptRunOptions& options);

}  // namespace tarnex
