// Fleet work holds each member only for that member's own exchanges: the operator's work on
// one display never waits for the rest of a group, nor for a search that is only listening.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>

#include "console/command_transaction.h"
#include "console/job_scheduler.h"
#include "support/console_fixture.h"

namespace tarnex {
namespace {

using testing::Loopback;

// Asks the same query a number of times, one after another.
class RepeatedQuery : public MemberSequence {
 public:
  explicit RepeatedQuery(int times) : m_left(times) {}
  std::optional<MemberQuery> Start() override { return Ask(); }
  std::optional<MemberQuery> Next(std::optional<std::string>) override { return Ask(); }

 private:
  std::optional<MemberQuery> Ask() {
    if (m_left-- <= 0) return std::nullopt;
    return MemberQuery{.command = "ka 01 ff\n"};
  }
  int m_left;
};

class FleetLeaseTest : public testing::ConsoleFixture {
 public:
  // Two answering displays and a silent one, all connected, in one group; the silent one
  // keeps any group operation running for several receive time-outs.
  void SetUp() override {
    ConsoleFixture::SetUp();
    sockets.receiveTimeoutMs = 400;
    if (PjlinkA()) {
      fleet.AddPjlink({.address = a, .password = "wall", .delayMs = 100});
    } else {
      fleet.Add({.address = a});
    }
    fleet.Add({.address = b});
    fleet.Add({.address = silent, .silent = true});
    Configure({a, b, silent}, {{"Wall", {"[1]" + a, "[2]" + b, "[3]" + silent}}});
    if (PjlinkA()) {
      doc->m_docDisplays[0].m_linkKind = LinkKind::kPjlink;
      doc->m_docPjlinkPasswords[a] = "wall";
    }
    core->BuildTree();
    fleet.ClearLog();
    group = SelectGroup();
    ASSERT_EQ(group.members.size(), 3u);
    idA = core->Lock()->IdAt(0);
  }
  virtual bool PjlinkA() const { return false; }
  void TearDown() override {
    core->Stop();
    core->Jobs().Stop();
    ConsoleFixture::TearDown();
  }

  // A read of display `a` as a page posts it, once the group operation reached the silent
  // display; true when it came back while the group operation was still running.
  bool ReadOfAEndsFirst(const std::atomic<bool>& groupDone) {
    EXPECT_TRUE(CommandsArrive(silent, 1));
    std::promise<bool> before;
    core->Jobs().Post(JobKeys::Display(idA), [&] {
      EXPECT_TRUE(core->Transaction().NetworkExchange(idA, "kd 01 ff\n"));
      before.set_value(!groupDone.load());
    });
    return before.get_future().get();
  }

  const std::string a = Loopback(1), b = Loopback(2), silent = Loopback(3);
  CommandTarget group;
  DisplayId idA = kNoDisplay;
};

// A group send to a wall with one silent member: the answering member is free again as soon
// as its own reply is in.
TEST_F(FleetLeaseTest, AGroupSendHoldsAnAnsweringMemberOnlyForItsOwnExchange) {
  std::atomic<bool> groupDone{false};
  core->Jobs().Post(group.Keys(), [&] {
    core->Transaction().SendCommand("kd 01 01\n", group);
    groupDone = true;
  });
  EXPECT_TRUE(ReadOfAEndsFirst(groupDone));
  Settle();
  EXPECT_EQ(fleet.CommandsTo(a), (std::vector<std::string>{"kd 01 01\n", "kd 01 ff\n"}));
}

// A member read several times in a row gives its turn to the operator's read between two of
// its exchanges, and the rest of its sequence still runs, after the read. What `a` was sent.
std::vector<std::string> ReadInTheMiddleOfASequence(FleetLeaseTest& test) {
  std::vector<RepeatedQuery> reads(3, RepeatedQuery(6));
  std::vector<MemberSequence*> running;
  for (RepeatedQuery& read : reads) running.push_back(&read);
  std::atomic<bool> groupDone{false};
  test.core->Jobs().Post(test.group.Keys(), [&] {
    test.core->Transaction().RunSequences(test.group, running);
    groupDone = true;
  });
  EXPECT_TRUE(test.CommandsArrive(test.a, 1));
  EXPECT_TRUE(test.ReadOfAEndsFirst(groupDone));
  test.Settle();
  return test.fleet.CommandsTo(test.a);
}

TEST_F(FleetLeaseTest, AMemberSequenceLetsTheOperatorsReadInBetweenItsExchanges) {
  const std::vector<std::string> seen = ReadInTheMiddleOfASequence(*this);
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "ka 01 ff\n"), 6);
  EXPECT_NE(seen.back(), "kd 01 ff\n");  // the read came in the middle, not after the group
}

// A PJLink member is leased as a native one is: its session is the turn holder's alone, and the
// operator's read gets the turn between two of the group's exchanges.
class PjlinkLeaseTest : public FleetLeaseTest {
 protected:
  bool PjlinkA() const override { return true; }
};

TEST_F(PjlinkLeaseTest, APjlinkMemberGivesItsTurnBetweenItsExchanges) {
  const std::vector<std::string> seen = ReadInTheMiddleOfASequence(*this);
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "%1POWR ?\r"), 6);
  EXPECT_NE(seen.back(), "%1AVMT ?\r");
}

}  // namespace
}  // namespace tarnex
