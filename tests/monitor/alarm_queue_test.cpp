#include "monitor/alarm_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnex {
namespace {

// A mail server that does not answer must not hold whoever raised the alarm; the mails go out
// in the order raised, and what is still queued at the close is dropped rather than waited for.
TEST(AlarmQueue, RaisingNeverWaitsForTheSenderAndTheOrderIsKept) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::mutex mutex;
  std::vector<std::string> sent;
  AlarmQueue queue([&](AlarmKind kind, const std::string& address) {
    released.wait();
    std::lock_guard lock(mutex);
    sent.push_back(std::to_string(static_cast<int>(kind)) + " " + address);
  });

  const auto started = std::chrono::steady_clock::now();
  queue.Enqueue(AlarmKind::kLinkFault, "127.0.0.1");
  queue.Enqueue(AlarmKind::kFanFault, "127.0.0.2");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100));

  release.set_value();
  for (int i = 0; i < 200; ++i) {
    {
      std::lock_guard lock(mutex);
      if (sent.size() == 2) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::lock_guard lock(mutex);
  EXPECT_EQ(sent, (std::vector<std::string>{"2 127.0.0.1", "3 127.0.0.2"}));
}

TEST(AlarmQueue, AStoppedQueueDropsWhatIsLeft) {
  std::promise<void> entered;
  std::promise<void> release;
  int sent = 0;
  AlarmQueue queue([&](AlarmKind, const std::string&) {
    if (sent++ == 0) {
      entered.set_value();
      release.get_future().wait();
    }
  });
  queue.Enqueue(AlarmKind::kLinkFault, "127.0.0.1");
  entered.get_future().wait();
  queue.Enqueue(AlarmKind::kLinkFault, "127.0.0.2");
  std::thread stopper([&] { queue.Stop(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  release.set_value();
  stopper.join();
  EXPECT_EQ(sent, 1);
}

// While the sender is held on the first mail, the queue fills: past its bound new alarms are
// dropped, and the operator's test mail still goes ahead of every waiting one.
TEST(AlarmQueue, TheQueueIsBoundedAndTheTestMailGoesFirst) {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::mutex mutex;
  std::vector<std::string> sent;
  AlarmQueue queue([&](AlarmKind kind, const std::string& address) {
    std::unique_lock lock(mutex);
    const bool first = sent.empty();
    sent.push_back(std::to_string(static_cast<int>(kind)) + " " + address);
    lock.unlock();
    if (first) {
      entered.set_value();
      released.wait();
    }
  });
  queue.Enqueue(AlarmKind::kLinkFault, "in flight");
  entered.get_future().wait();
  for (size_t i = 0; i < AlarmQueue::kMaxWaiting + 5; ++i) {
    queue.Enqueue(AlarmKind::kFanFault, std::to_string(i));
  }
  std::promise<void> testDone;
  queue.EnqueueFirst(AlarmKind::kTest, "test", [&] { testDone.set_value(); });
  release.set_value();
  ASSERT_EQ(testDone.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  ASSERT_TRUE(queue.WaitIdle(std::chrono::seconds(10)));

  std::lock_guard lock(mutex);
  ASSERT_EQ(sent.size(), AlarmQueue::kMaxWaiting + 2);
  EXPECT_EQ(sent[0], "2 in flight");
  EXPECT_EQ(sent[1], "0 test");
  EXPECT_EQ(sent[2], "3 0");
  EXPECT_EQ(sent.back(), "3 " + std::to_string(AlarmQueue::kMaxWaiting - 1));
}

}  // namespace
}  // namespace tarnex
