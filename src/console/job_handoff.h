#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "console/console_core.h"
#include "platform/cancel_token.h"
#include "platform/socket_api.h"

namespace tarnex {

// Display work that a thread of its own (the supervision pass, the backup worker) hands to the
// console's scheduler: it runs there under its displays' keys, takes its turn with the
// operator's jobs and never talks to a display beside one of them.
//
// The poster waits with a deadline of its own, and no longer than the console runs: a close
// ends the wait within a slice. A job that outlives its poster's wait runs to its end, but its
// waits end at once (CancelFd) and what it reaches through Reach no longer runs, so a job
// touches what the poster owns (progress counters, a result) only through Reach.
//
// Threads: Wait on the poster's thread (never the UI thread, never a worker); Reach and
// CancelFd on the job's worker.
class JobHandoff {
 public:
  enum class End { kDone, kStopped, kTimedOut, kDropped };

  // `inPlace`: the job runs on the poster's own worker, so nobody leaves and the console's stop
  // ends its waits.
  explicit JobHandoff(bool inPlace = false) : m_inPlace(inPlace) {}
  JobHandoff(const JobHandoff&) = delete;
  JobHandoff& operator=(const JobHandoff&) = delete;

  // Queues `job` under `keys`. The job keeps the handoff, so it outlives a poster that left.
  static std::shared_ptr<JobHandoff> Post(CConsoleCore& core, JobKeys keys,
                                          std::function<void(JobHandoff&)> job);

  // Until the job ended, the console stops or `deadline` passes. On any end but kDone the
  // poster has left: the job's waits are cancelled and its Reach calls are dropped.
  End Wait(CConsoleCore& core, std::chrono::steady_clock::time_point deadline);
  // Runs `call` while the poster still waits, and holds the poster's leaving until it ends;
  // false when the poster has left.
  bool Reach(const std::function<void()>& call);
  // The job's waits end early when this is readable: the poster left (the console's stop makes
  // it leave). kNoSocket, the console's stop, in place.
  int CancelFd() const { return m_inPlace ? kNoSocket : m_left.Fd(); }

 private:
  struct Ender;
  // The job ended, or the scheduler dropped it unrun; `ran` tells which. The first call counts.
  void Finish(bool ran);
  // The poster stops waiting. Lock held.
  void LeaveLocked();

  const bool m_inPlace;
  std::mutex m_mutex;
  std::condition_variable m_ended;
  bool m_finished = false;
  bool m_ran = false;
  bool m_gone = false;  // the poster left; m_left is cancelled too
  CancelToken m_left;
};

// Runs `job` as a console job under `keys` and returns its result, waiting on the calling
// thread at most `wait`; none when the wait ended otherwise (see JobHandoff::Wait). On a
// worker already it runs in place: a job that waited for a job of its own displays would wait
// for itself.
template <typename Result>
std::optional<Result> RunAsJob(CConsoleCore& core, JobKeys keys,
                               std::chrono::steady_clock::duration wait,
                               std::function<Result(JobHandoff&)> job) {
  if (core.Jobs().OnWorker()) {
    JobHandoff inPlace(true);
    return job(inPlace);
  }
  auto result = std::make_shared<std::optional<Result>>();
  const auto handoff =
      JobHandoff::Post(core, std::move(keys), [result, job = std::move(job)](JobHandoff& running) {
        Result value = job(running);
        running.Reach([&] { *result = std::move(value); });
      });
  const auto deadline = std::chrono::steady_clock::now() + wait;
  if (handoff->Wait(core, deadline) != JobHandoff::End::kDone) return std::nullopt;
  return std::move(*result);
}

}  // namespace tarnex
