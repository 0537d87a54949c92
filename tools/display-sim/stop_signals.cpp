#include "display-sim/stop_signals.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace tarnex::sim {

sigset_t BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

void WaitForStopSignal(const sigset_t& signals) {
  const timespec tick{0, 500'000'000};
  while (true) {
    const int received = sigtimedwait(&signals, nullptr, &tick);
    if (received == SIGINT || received == SIGTERM) return;
  }
}

}  // namespace tarnex::sim
