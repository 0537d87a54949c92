#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <future>

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

}  // namespace tarnex::testing
