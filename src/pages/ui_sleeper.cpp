#include "pages/ui_sleeper.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopeGuard>
#include <QThread>

#include <algorithm>

namespace tarnex {
namespace {

constexpr std::chrono::milliseconds kEventSlice{5};
// Touched on the UI thread only.
int g_waitDepth = 0;

bool OnUiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

void PumpEventsFor(std::chrono::milliseconds pause) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + pause;
  ++g_waitDepth;
  const auto leave = qScopeGuard([] { --g_waitDepth; });
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const Clock::duration left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return;
    std::this_thread::sleep_for(std::min<Clock::duration>(left, kEventSlice));
  }
}

}  // namespace

bool InsideResponsiveWait() {
  return OnUiThread() && g_waitDepth > 0;
}

Sleeper UiResponsiveSleeper() {
  return [](std::chrono::milliseconds pause) {
    if (OnUiThread()) {
      PumpEventsFor(pause);
    } else {
      std::this_thread::sleep_for(pause);
    }
  };
}

}  // namespace tarnex
