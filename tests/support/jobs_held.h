#pragma once

#include <chrono>
#include <future>

#include "console/job_scheduler.h"

namespace tarnex::testing {

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
