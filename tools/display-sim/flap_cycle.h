#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnex::sim {

class SimDisplay;

// What a flapping display does in each part of its period: it answers for the first half,
// then closes every connection after a few commands for a quarter, then refuses connects for
// the last quarter. The displays' periods are staggered evenly, so at any moment about a
// quarter of the fleet refuses and a quarter drops its connections.
enum class FlapPhase { kAnswering, kClosing, kRefusing };

// The phase of display `index` of `count` at `elapsed` into a run with this period.
FlapPhase FlapPhaseAt(size_t index, size_t count, std::chrono::milliseconds period,
                      std::chrono::milliseconds elapsed);

// Switches the displays through their phases on a thread of its own until destroyed. The
// displays must outlive it.
class FlapCycle {
 public:
  // Commands a connection takes in the closing phase before the display closes it.
  static constexpr int kCommandsBeforeClose = 3;

  FlapCycle(std::vector<SimDisplay*> displays, std::chrono::milliseconds period);
  ~FlapCycle();
  FlapCycle(const FlapCycle&) = delete;
  FlapCycle& operator=(const FlapCycle&) = delete;

 private:
  void Run();

  const std::vector<SimDisplay*> displays_;
  const std::chrono::milliseconds period_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;  // last: it reads the members above
};

}  // namespace tarnex::sim
