#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <future>
#include <thread>

#include "console/job_scheduler.h"
#include "support/jobs_held.h"

namespace tarnex::testing {

// The console's worker idle and what it handed back to the UI thread delivered, until neither
// has anything left: a delivered result may start a new job.
inline void SettleJobs(JobScheduler& jobs) {
  for (int round = 0; round < 100; ++round) {
    EXPECT_TRUE(jobs.WaitIdle(std::chrono::seconds(10)));
    QCoreApplication::processEvents();
    if (!jobs.Busy()) {
      QCoreApplication::processEvents();
      if (!jobs.Busy()) return;
    }
  }
}

// Runs what the workers handed to the UI thread (queued calls and due timers) until `condition`
// holds, for at most two seconds, without waiting for the workers to go idle.
template <typename Condition>
bool PumpUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace tarnex::testing
