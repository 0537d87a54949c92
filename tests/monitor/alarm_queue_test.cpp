#include "monitor/alarm_queue.h"

#include "monitor/alarm_spool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnex {
namespace {

AlarmMailResult Sent() {
  return {.sent = true, .stopped = false, .why = {}, .unwanted = false};
}
AlarmMailResult Failed(std::string why) {
  return {.sent = false, .stopped = false, .why = std::move(why), .unwanted = false};
}

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
    return Sent();
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

// What the close cuts short, what waits and what waits for a retry all come back from Stop,
// with the tries made so far; the test mail does not.
TEST(AlarmQueue, AStoppedQueueHandsBackWhatHasNotGone) {
  std::promise<void> entered;
  std::atomic<bool> stop{false};
  AlarmQueue queue([&](AlarmKind, const std::string& address) {
    if (address == "retry") return Failed("no answer");
    entered.set_value();
    while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return AlarmMailResult{.sent = false, .stopped = true, .why = {}, .unwanted = false};
  });
  queue.SetRetryDelays({std::chrono::minutes(1)});
  queue.Enqueue(AlarmKind::kFanFault, "retry");
  ASSERT_TRUE(queue.WaitIdle(std::chrono::seconds(10)));
  queue.Enqueue(AlarmKind::kLinkFault, "in flight");
  entered.get_future().wait();
  queue.Enqueue(AlarmKind::kLinkFault, "waiting");
  queue.EnqueueFirst(AlarmKind::kTest, "test", {});
  stop = true;
  const std::vector<QueuedAlarm> left = queue.Stop();
  ASSERT_EQ(left.size(), 3u);
  EXPECT_EQ(left[0].address, "in flight");
  EXPECT_EQ(left[0].attempts, 0);
  EXPECT_EQ(left[1].address, "retry");
  EXPECT_EQ(left[1].attempts, 1);
  EXPECT_EQ(left[2].address, "waiting");
  EXPECT_TRUE(queue.Stop().empty());
}

// A failing alarm is tried again after each delay and then given up, every failure told; the
// failing state holds until a mail goes again.
TEST(AlarmQueue, AFailedAlarmIsRetriedThenGivenUp) {
  std::mutex mutex;
  std::vector<AlarmFailure> failures;
  std::vector<bool> states;
  std::atomic<bool> relayUp{false};
  AlarmQueue queue(
      [&](AlarmKind, const std::string&) { return relayUp ? Sent() : Failed("refused: 550 no"); });
  queue.SetRetryDelays({std::chrono::milliseconds(10), std::chrono::milliseconds(20),
                        std::chrono::milliseconds(40)});
  queue.SetListener({.failed =
                         [&](const AlarmFailure& failure) {
                           std::lock_guard lock(mutex);
                           failures.push_back(failure);
                         },
                     .failing =
                         [&](bool failing) {
                           std::lock_guard lock(mutex);
                           states.push_back(failing);
                         }});
  queue.Enqueue(AlarmKind::kFanFault, "10.0.0.5");
  queue.EnqueueFirst(AlarmKind::kTest, "test", {});  // a failed test is the operator's to see
  const auto told = [&](size_t n) {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard lock(mutex);
        if (failures.size() >= n) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  };
  ASSERT_TRUE(told(4));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  relayUp = true;
  queue.Enqueue(AlarmKind::kLinkFault, "10.0.0.6");
  ASSERT_TRUE(queue.WaitIdle(std::chrono::seconds(10)));
  std::lock_guard lock(mutex);
  ASSERT_EQ(failures.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(failures[i].alarm.attempts, i + 1);
    EXPECT_EQ(failures[i].givenUp, i == 3);
    EXPECT_EQ(failures[i].why, "refused: 550 no");
  }
  EXPECT_EQ(states, (std::vector<bool>{true, false}));
}

// The spool is read back as written; a damaged line or a file of anything else gives nothing.
TEST(AlarmQueue, TheSpoolKeepsTheMailsForTheNextStart) {
  const std::vector<QueuedAlarm> alarms = {{AlarmKind::kLinkFault, "10.0.0.5", 2, 1765000000},
                                           {AlarmKind::kFanFault, "07", 0, 1765000001}};
  EXPECT_EQ(ParseAlarmSpool(AlarmSpoolText(alarms)), alarms);
  EXPECT_EQ(ParseAlarmSpool("2 1 1765000000 10.0.0.5\n0 0 1 test\n9 0 1 x\n2 x 1 y\n2 1 1\n"
                            "3 0 5 a\x01b\n"),
            (std::vector<QueuedAlarm>{{AlarmKind::kLinkFault, "10.0.0.5", 1, 1765000000}}));
  const std::string path = ::testing::TempDir() + "alarm-spool-test.txt";
  ASSERT_TRUE(WriteAlarmSpool(path, alarms));
  EXPECT_EQ(TakeAlarmSpool(path), alarms);
  EXPECT_TRUE(TakeAlarmSpool(path).empty());  // handed to one start only
  ASSERT_TRUE(WriteAlarmSpool(path, alarms));
  ASSERT_TRUE(WriteAlarmSpool(path, {}));
  EXPECT_TRUE(TakeAlarmSpool(path).empty());
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
    return Sent();
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
