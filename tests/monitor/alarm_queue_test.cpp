#include "monitor/alarm_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
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

}  // namespace
}  // namespace tarnex
