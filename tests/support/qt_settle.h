#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <future>

#include "console/job_scheduler.h"

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

// Keeps the console's worker busy from construction until Release (or the destructor), so that
// a test decides when the jobs posted meanwhile run. Bounded: the worker goes on after ten
// seconds whatever happens.
class JobsHeld {
 public:
  explicit JobsHeld(JobScheduler& jobs) {
    jobs.Post(JobKeys::Everything(),
              [held = m_release.get_future().share()] { held.wait_for(std::chrono::seconds(10)); });
  }
  ~JobsHeld() { Release(); }
  JobsHeld(const JobsHeld&) = delete;
  JobsHeld& operator=(const JobsHeld&) = delete;
  void Release() {
    if (m_held) m_release.set_value();
    m_held = false;
  }

 private:
  std::promise<void> m_release;
  bool m_held = true;
};

}  // namespace tarnex::testing
