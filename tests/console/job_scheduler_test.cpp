#include "console/job_scheduler.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "console/job_handoff.h"
#include "support/console_fixture.h"
#include "support/jobs_held.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;

// A job queued behind another job for the same display counts the time until it starts.
TEST(JobScheduler, LongestWaitIsTheTimeAJobWasHeldBehindAnother) {
  JobScheduler jobs;
  EXPECT_EQ(jobs.LongestWait(), std::chrono::steady_clock::duration::zero());
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  jobs.Post(JobKeys::Display(DisplayId{1}), [released] { released.wait(); });
  jobs.Post(JobKeys::Display(DisplayId{1}), [] {});
  const auto queued = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(20ms);
  const auto held = std::chrono::steady_clock::now() - queued;
  release.set_value();
  ASSERT_TRUE(jobs.WaitIdle(10s));
  EXPECT_GE(jobs.LongestWait(), held);
}

// Jobs held by displays that never answer take no worker another display's job needs.
TEST(JobScheduler, JobsStuckOnSilentDisplaysLeaveWorkersForTheRest) {
  JobScheduler jobs;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  for (uint32_t id = 1; id <= 40; ++id) {
    jobs.Post(JobKeys::Display(DisplayId{id}), [released] { released.wait(); });
  }
  std::promise<void> ran;
  jobs.Post(JobKeys::Display(DisplayId{41}), [&ran] { ran.set_value(); });
  EXPECT_EQ(ran.get_future().wait_for(10s), std::future_status::ready);
  release.set_value();
  EXPECT_TRUE(jobs.WaitIdle(10s));
}

// Fleet work and a display's own job pass each other once both have begun, but a display's job
// asked for first starts first, and fleet work on the same display keeps its order.
TEST(JobScheduler, FleetWorkNeitherHoldsNorOvertakesADisplaysOwnJobs) {
  const JobKeys fleet = JobKeys::Leased({DisplayId{1}, DisplayId{2}});
  const JobKeys one = JobKeys::Display(DisplayId{2});
  const JobKeys other = JobKeys::Display(DisplayId{3});
  EXPECT_FALSE(fleet.Holds(one, true));
  EXPECT_FALSE(fleet.Holds(one, false));
  EXPECT_TRUE(one.Holds(fleet, false));
  EXPECT_FALSE(one.Holds(fleet, true));
  EXPECT_FALSE(other.Holds(fleet, false));
  EXPECT_TRUE(fleet.Holds(JobKeys::Leased({DisplayId{2}}), true));
  EXPECT_FALSE(JobKeys::Search().Holds(one, true));
  EXPECT_TRUE(JobKeys::Search().Holds(JobKeys::Search(), true));
  EXPECT_TRUE(JobKeys::Everything().Holds(JobKeys::Search(), false));
}

// A poster that stopped waiting is out of its job's reach: what the job still reports goes
// nowhere, and its waits end at once.
TEST(JobHandoff, AJobThatOutlivesItsWaitReachesNothing) {
  testing::ConsoleRig rig;
  rig.Open();
  std::optional<bool> reached;
  bool cancelled = false;
  {
    testing::JobsHeld held(rig.core->Jobs());
    const std::optional<int> result =
        RunAsJob<int>(*rig.core, JobKeys::Display(DisplayId{1}), 50ms, [&](JobHandoff& handoff) {
          reached = handoff.Reach([] {});
          pollfd cancel{.fd = handoff.CancelFd(), .events = POLLIN, .revents = 0};
          cancelled = ::poll(&cancel, 1, 0) == 1;
          return 1;
        });
    EXPECT_FALSE(result);
  }
  ASSERT_TRUE(rig.core->Jobs().WaitIdle(10s));
  EXPECT_EQ(reached, false);
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(RunAsJob<int>(*rig.core, JobKeys::Display(DisplayId{1}), 10s,
                          [](JobHandoff& handoff) { return handoff.Reach([] {}) ? 2 : 0; }),
            2);
}

}  // namespace
}  // namespace tarnex
