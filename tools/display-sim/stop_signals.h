#pragma once

#include <csignal>

namespace tarnex::sim {

// Blocks SIGINT, SIGTERM, SIGUSR1 and SIGUSR2 for the calling thread and every thread it starts
// afterwards, so that only the waits below receive them. Call before starting any thread.
sigset_t BlockStopSignals();

// Returns once SIGINT or SIGTERM arrived.
void WaitForStopSignal(const sigset_t& signals);

// Returns the next of the blocked signals to arrive: SIGINT, SIGTERM, SIGUSR1 or SIGUSR2.
int WaitForSignal(const sigset_t& signals);

}  // namespace tarnex::sim
