#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace tarnex {
namespace {

using Outcome = SingleInstance::Outcome;

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarnex-instance-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }

  std::unique_ptr<SingleInstance> Start(const char* executable = "/opt/tarnex/tarnex-manager") {
    return std::make_unique<SingleInstance>(executable, folder);
  }

  // A copy in another process that takes the instance lock, reports, and waits to be killed.
  pid_t StartHolderProcess() {
    int ready[2];
    EXPECT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      SingleInstance holder("/opt/tarnex/tarnex-manager", folder);
      const char result = holder.Acquire() == Outcome::kFirst ? 'y' : 'n';
      (void)!::write(ready[1], &result, 1);
      for (;;) ::pause();
    }
    char result = 0;
    EXPECT_EQ(::read(ready[0], &result, 1), 1);
    EXPECT_EQ(result, 'y');
    ::close(ready[0]);
    ::close(ready[1]);
    return child;
  }

  std::string folder;
};

TEST_F(SingleInstanceTest, SecondCopyTellsTheOperatorAndAThirdEndsSilentlyMeanwhile) {
  auto first = Start();
  auto second = Start();
  auto third = Start();

  EXPECT_EQ(first->Acquire(), Outcome::kFirst);
  EXPECT_EQ(second->Acquire(), Outcome::kTellOperator);
  EXPECT_EQ(third->Acquire(), Outcome::kEndSilently);

  // Once the second copy's box is closed, the next refused copy shows it again.
  second->ReleaseMessage();
  EXPECT_EQ(Start()->Acquire(), Outcome::kTellOperator);
}

TEST_F(SingleInstanceTest, TheLockGoesWithItsHolderHoweverItEnds) {
  const pid_t holder = StartHolderProcess();
  EXPECT_EQ(Start()->Acquire(), Outcome::kTellOperator);

  ::kill(holder, SIGKILL);
  int status = 0;
  ::waitpid(holder, &status, 0);

  EXPECT_EQ(Start()->Acquire(), Outcome::kFirst);
}

TEST_F(SingleInstanceTest, EachExecutableHasItsOwnLock) {
  auto installed = Start("/opt/tarnex/tarnex-manager");
  auto other = Start("/home/operator/build/bin/tarnex-manager");
  EXPECT_EQ(installed->Acquire(), Outcome::kFirst);
  EXPECT_EQ(other->Acquire(), Outcome::kFirst);
  EXPECT_NE(installed->InstanceLockPath(), other->InstanceLockPath());
}

TEST_F(SingleInstanceTest, APlantedLinkIsNotFollowed) {
  const std::string victim = folder + "/victim";
  auto probe = Start();
  ASSERT_EQ(::symlink(victim.c_str(), probe->InstanceLockPath().c_str()), 0);

  EXPECT_EQ(Start()->Acquire(), Outcome::kError);
  EXPECT_NE(::access(victim.c_str(), F_OK), 0);
}

TEST(SingleInstanceFolder, RuntimeFolderFallsBackToTmp) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string kept = saved != nullptr ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(RuntimeLockFolder(), "/run/user/4242");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(RuntimeLockFolder(), "/tmp");
  if (saved != nullptr) ::setenv("XDG_RUNTIME_DIR", kept.c_str(), 1);
}

}  // namespace
}  // namespace tarnex
