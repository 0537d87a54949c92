#include "console/job_handoff.h"

#include <algorithm>

#include "platform/ui_thread.h"

namespace tarnex {
namespace {

// How often a waiting poster looks at the console's stop: a close is not held longer.
constexpr std::chrono::milliseconds kStopSlice{50};

}  // namespace

// Ends the poster's wait however the job goes: run to its end, or dropped unrun by a scheduler
// that stopped, which destroys the job without calling it.
struct JobHandoff::Ender {
  std::shared_ptr<JobHandoff> handoff;
  ~Ender() {
    if (handoff) handoff->Finish(false);
  }
};

std::shared_ptr<JobHandoff> JobHandoff::Post(CConsoleCore& core, JobKeys keys,
                                             std::function<void(JobHandoff&)> job) {
  auto handoff = std::make_shared<JobHandoff>();
  auto ender = std::make_shared<Ender>();
  ender->handoff = handoff;
  core.Jobs().Post(std::move(keys), [ender, job = std::move(job)] {
    job(*ender->handoff);
    ender->handoff->Finish(true);
  });
  return handoff;
}

JobHandoff::End JobHandoff::Wait(CConsoleCore& core,
                                 std::chrono::steady_clock::time_point deadline) {
  ExpectOffUiThread("a wait for a console job");
  std::unique_lock lock(m_mutex);
  while (!m_finished) {
    if (core.Stopping()) {
      LeaveLocked();
      return End::kStopped;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      LeaveLocked();
      return End::kTimedOut;
    }
    m_ended.wait_for(lock,
                     std::min<std::chrono::steady_clock::duration>(kStopSlice, deadline - now));
  }
  return m_ran ? End::kDone : End::kDropped;
}

bool JobHandoff::Reach(const std::function<void()>& call) {
  std::lock_guard lock(m_mutex);
  if (m_gone) return false;
  call();
  return true;
}

void JobHandoff::Finish(bool ran) {
  std::lock_guard lock(m_mutex);
  if (m_finished) return;
  m_finished = true;
  m_ran = ran;
  m_ended.notify_all();
}

void JobHandoff::LeaveLocked() {
  m_gone = true;
  m_left.Cancel();
}

}  // namespace tarnex
