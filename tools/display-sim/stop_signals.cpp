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
  sigaddset(&signals, SIGUSR1);
  sigaddset(&signals, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

void WaitForStopSignal(const sigset_t& signals) {
  while (true) {
    const int received = WaitForSignal(signals);
    if (received == SIGINT || received == SIGTERM) return;
  }
}

int WaitForSignal(const sigset_t& signals) {
  const timespec tick{0, 500'000'000};
  while (true) {
    const int received = sigtimedwait(&signals, nullptr, &tick);
    if (received == SIGINT || received == SIGTERM || received == SIGUSR1 || received == SIGUSR2) {
      return received;
    }
  }
}

}  // namespace tarnex::sim
