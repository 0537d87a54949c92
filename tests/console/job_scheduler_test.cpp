#include "console/job_scheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

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

}  // namespace
}  // namespace tarnex
