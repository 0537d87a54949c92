#pragma once

#include <csignal>

namespace tarnex::sim {

// Blocks SIGINT and SIGTERM for the calling thread and every thread it starts afterwards, so
// that only WaitForStopSignal receives them. Call before starting any thread.
sigset_t BlockStopSignals();

// Returns once SIGINT or SIGTERM arrived.
void WaitForStopSignal(const sigset_t& signals);

}  // namespace tarnex::sim
