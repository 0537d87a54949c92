#include "app/termination_signals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>

namespace tarnex {
namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
// The pair that carries a signal from its handler to the event loop: [0] is written by the
// handler, [1] is watched by the UI thread. One process, one pair.
int g_pair[2] = {-1, -1};
// Set once a SIGTERM or SIGINT was received.
volatile sig_atomic_t g_endAsked = 0;

void OnSignal(int signal) {
  const bool endAsked = signal != SIGHUP;
  if (endAsked && g_endAsked != 0) {
    // The default action ends the process once this handler returns, the signal being
    // blocked until then.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  if (endAsked) g_endAsked = 1;
  const char byte = 1;
  (void)!::write(g_pair[0], &byte, 1);
}

void SetHandlers(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal)) {
  if (g_pair[0] >= 0) return;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0) return;
  g_endAsked = 0;
  m_notifier = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::OnReadable);
  SetHandlers(&OnSignal);
}

TerminationSignals::~TerminationSignals() {
  if (m_notifier == nullptr) return;
  SetHandlers(SIG_DFL);
  ::close(g_pair[0]);
  ::close(g_pair[1]);
  g_pair[0] = g_pair[1] = -1;
}

// UI thread.
void TerminationSignals::OnReadable() {
  char byte = 0;
  (void)!::read(g_pair[1], &byte, 1);
  if (m_onSignal) m_onSignal();
}

}  // namespace tarnex
