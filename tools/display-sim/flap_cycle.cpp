#include "display-sim/flap_cycle.h"

#include <algorithm>

#include "display-sim/sim_display.h"

namespace tarnex::sim {
namespace {

// How often the phases are looked at: a switch comes at most this late.
constexpr std::chrono::milliseconds kTick{100};

void Apply(SimDisplay& display, FlapPhase phase) {
  display.SetCloseAfter(phase == FlapPhase::kClosing ? FlapCycle::kCommandsBeforeClose : 0);
  display.SetRefuse(phase == FlapPhase::kRefusing);
}

}  // namespace

FlapPhase FlapPhaseAt(size_t index, size_t count, std::chrono::milliseconds period,
                      std::chrono::milliseconds elapsed) {
  // Without a period there is nothing to flap through.
  if (period.count() <= 0 || count == 0) return FlapPhase::kAnswering;
  const long long length = period.count();
  const auto offset =
      static_cast<long long>(index % count) * length / static_cast<long long>(count);
  const auto at = (std::max<long long>(0, elapsed.count()) + offset) % length;
  if (at < length / 2) return FlapPhase::kAnswering;
  if (at < length * 3 / 4) return FlapPhase::kClosing;
  return FlapPhase::kRefusing;
}

FlapCycle::FlapCycle(std::vector<SimDisplay*> displays, std::chrono::milliseconds period)
    : displays_(std::move(displays)), period_(period), thread_([this] { Run(); }) {}

FlapCycle::~FlapCycle() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void FlapCycle::Run() {
  const auto start = std::chrono::steady_clock::now();
  // Every display starts answering, as it was built.
  std::vector<FlapPhase> phases(displays_.size(), FlapPhase::kAnswering);
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, kTick, [this] { return stop_; })) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    lock.unlock();
    for (size_t i = 0; i < displays_.size(); ++i) {
      const FlapPhase phase = FlapPhaseAt(i, displays_.size(), period_, elapsed);
      if (phase == phases[i]) continue;
      phases[i] = phase;
      Apply(*displays_[i], phase);
    }
    lock.lock();
  }
}

}  // namespace tarnex::sim
