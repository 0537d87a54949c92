#include "platform/owner_link.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/scratch_folder.h"
#include "support/forked_child.h"
#include "support/other_user.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::ForkedChild;
using testing::ScratchFolder;

// A scratch folder as XDG_RUNTIME_DIR for one test; the runtime folder made in it goes too.
class RuntimeFolder {
 public:
  RuntimeFolder() {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) m_old = old;
    ::setenv("XDG_RUNTIME_DIR", m_scratch.Path().c_str(), 1);
  }
  ~RuntimeFolder() {
    m_old ? ::setenv("XDG_RUNTIME_DIR", m_old->c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    for (const std::string& entry : m_scratch.Entries())
      std::filesystem::remove_all(m_scratch.File(entry), ignored);
  }
  std::string Owner() const { return m_scratch.File("tarnex-manager"); }
  std::string File(const std::string& name) const { return m_scratch.File(name); }

 private:
  ScratchFolder m_scratch;
  std::optional<std::string> m_old;
};

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 07777;
}

// True when what began at `start` took from `least` to `most` milliseconds.
::testing::AssertionResult Took(Clock::time_point start, long long least, long long most) {
  const long long took =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  if (took >= least && took <= most) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "took " << took << " ms";
}

// A listener that ended leaves its socket file behind, as a holder that ended does.
void LeaveStaleSocket(const std::string& path) {
  std::string error;
  const int fd = ListenOwnerSocket(path, &error);
  EXPECT_GE(fd, 0) << error;
  ::close(fd);
}

TEST(OwnerPathsFor, NamesFollowTheConfigurationFolderInAPrivateFolder) {
  RuntimeFolder runtime;
  const auto lockFor = [](const char* config) {
    const OwnerPathsResult result = OwnerPathsFor(config);
    return result.paths ? result.paths->lock : "refused: " + result.error;
  };
  for (const mode_t mask : {0000, 0277}) {
    std::filesystem::remove_all(runtime.Owner());
    const mode_t old = ::umask(mask);
    const std::string lock = lockFor("/srv/site-a");
    ::umask(old);
    EXPECT_TRUE(lock.starts_with(runtime.Owner() + "/owner-")) << lock;
    EXPECT_EQ(ModeOf(runtime.Owner()), 0700u) << "umask " << mask;
    EXPECT_EQ(lockFor("/srv/site-a/"), lock);
    EXPECT_NE(lockFor("/srv/site-b"), lock);
  }
  // An existing folder is one owner however it is named.
  const std::string site = runtime.File("site");
  std::filesystem::create_directory(site);
  std::filesystem::create_directory_symlink(site, runtime.File("link"));
  const std::string lock = lockFor(site.c_str());
  EXPECT_EQ(lockFor((runtime.File("link") + "/").c_str()), lock);
  EXPECT_EQ(lockFor((site + "/../site/.").c_str()), lock);
}

TEST(OwnerPathsFor, RefusesAFolderOthersCouldPlaceFilesIn) {
  RuntimeFolder runtime;
  const std::string folder = runtime.Owner();
  const auto refused = [&](const char* reason) {
    const OwnerPathsResult result = OwnerPathsFor("/srv/site");
    EXPECT_FALSE(result.paths);
    EXPECT_NE(result.error.find(reason), std::string::npos) << result.error;
  };
  ASSERT_EQ(::mkdir(runtime.File("elsewhere").c_str(), 0700), 0);
  ASSERT_EQ(::symlink(runtime.File("elsewhere").c_str(), folder.c_str()), 0);
  refused("symbolic link");
  ::unlink(folder.c_str());
  testing::WriteBytes(folder, "");
  refused("not a folder");
  ::unlink(folder.c_str());
  for (const mode_t mode : {0750, 0705}) {
    ASSERT_EQ(::mkdir(folder.c_str(), 0700) | ::chmod(folder.c_str(), mode), 0);
    refused("open to other users");
    EXPECT_EQ(ModeOf(folder), mode) << "a refused folder is left as it was";
    ::rmdir(folder.c_str());
  }
  if (::geteuid() != 0) return;
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  ASSERT_TRUE(testing::GiveAway(folder));
  refused("another user");
}

TEST(OwnerPathsFor, WithoutRuntimeFolderEachUserHasOneInTmp) {
  TARNEX_SKIP_UNLESS_ROOT();
  // Another uid, so that the test never takes the folder a console of ours would use.
  ForkedChild child([](ForkedChild&) {
    if (::setgid(testing::kOtherGid) != 0 || ::setuid(testing::kOtherUid) != 0) return 2;
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string expected = "/tmp/tarnex-manager-" + std::to_string(testing::kOtherUid);
    const bool existed = ::access(expected.c_str(), F_OK) == 0;
    const OwnerPathsResult result = OwnerPathsFor("/srv/site");
    if (!existed) ::rmdir(expected.c_str());
    if (result.paths) return result.paths->lock.starts_with(expected + "/owner-") ? 0 : 3;
    return result.error.find(expected) != std::string::npos ? 0 : 4;
  });
  EXPECT_EQ(child.Wait(10s), 0);
}

TEST(OwnerLock, OneHolderAtATimeUntilReleasedOrEnded) {
  ScratchFolder scratch;
  const std::string path = scratch.File("owner.lock");
  {
    OwnerLock first(path), second(path);
    EXPECT_EQ(first.TryTake(), OwnerLock::Outcome::kTaken);
    EXPECT_EQ(second.TryTake(), OwnerLock::Outcome::kHeld);
    EXPECT_FALSE(second.Held());
    first.Release();
    EXPECT_EQ(second.TryTake(), OwnerLock::Outcome::kTaken);
  }
  // The holder ends without releasing: the kernel drops the lock with it.
  ForkedChild child([&](ForkedChild& self) {
    OwnerLock lock(path);
    if (lock.TryTake() != OwnerLock::Outcome::kTaken) return 1;
    self.Tell();
    self.Heard(10s);
    ::_exit(0);
  });
  ASSERT_TRUE(child.Heard(10s));
  OwnerLock parent(path);
  EXPECT_EQ(parent.TryTake(), OwnerLock::Outcome::kHeld);
  child.Tell();
  EXPECT_EQ(child.Wait(10s), 0);
  EXPECT_EQ(parent.TryTake(), OwnerLock::Outcome::kTaken);
}

TEST(OwnerLock, TakeWithinEndsAtTheWaitOrAtCancel) {
  ScratchFolder scratch;
  const std::string path = scratch.File("owner.lock");
  int cancel[2];
  ASSERT_EQ(::pipe(cancel), 0);
  {
    OwnerLock holder(path), waiter(path);
    ASSERT_EQ(holder.TryTake(), OwnerLock::Outcome::kTaken);
    const auto start = Clock::now();
    EXPECT_EQ(waiter.TakeWithin(130ms, cancel[0]), OwnerLock::Outcome::kHeld);
    EXPECT_TRUE(Took(start, 130, 130 + 150));
    ASSERT_EQ(::write(cancel[1], "x", 1), 1);
    EXPECT_EQ(waiter.TakeWithin(10s, cancel[0]), OwnerLock::Outcome::kCancelled);
    EXPECT_TRUE(Took(start, 130, 5000));
  }
  // Nobody holds it now, yet a cancelled wait takes nothing.
  OwnerLock waiter(path), other(path);
  EXPECT_EQ(waiter.TakeWithin(1s, cancel[0]), OwnerLock::Outcome::kCancelled);
  EXPECT_FALSE(waiter.Held());
  EXPECT_EQ(other.TryTake(), OwnerLock::Outcome::kTaken);
  ::close(cancel[0]);
  ::close(cancel[1]);
}

TEST(OwnerSocket, TheListenerReplacesAStaleSocketAndKnowsItsPeer) {
  ScratchFolder scratch;
  const std::string path = scratch.File("owner.sock");
  std::string error;
  testing::WriteBytes(path, "not mine");
  EXPECT_EQ(ListenOwnerSocket(path, &error), -1);
  EXPECT_EQ(testing::ReadBytes(path), "not mine") << "only a socket file is removed";
  ::unlink(path.c_str());
  LeaveStaleSocket(path);
  const int listener = ListenOwnerSocket(path, &error);
  ASSERT_GE(listener, 0) << error;
  EXPECT_EQ(ModeOf(path), 0600u);
  const int client = ConnectOwnerSocket(path, 1s);
  ASSERT_GE(client, 0) << std::strerror(errno);
  const int served = ::accept(listener, nullptr, nullptr);
  ASSERT_GE(served, 0);
  EXPECT_EQ(PeerUid(served), ::geteuid());
  EXPECT_EQ(PeerUid(client), ::geteuid());
  for (const int fd : {served, client, listener}) ::close(fd);
}

TEST(OwnerSocket, ConnectFailsWithinTheWaitWhenNobodyListens) {
  ScratchFolder scratch;
  const std::string path = scratch.File("owner.sock");
  auto start = Clock::now();
  EXPECT_EQ(ConnectOwnerSocket(path, 120ms), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(Took(start, 120, 120 + 150));
  LeaveStaleSocket(path);
  start = Clock::now();
  EXPECT_EQ(ConnectOwnerSocket(path, 120ms), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  EXPECT_TRUE(Took(start, 120, 120 + 150));
  errno = 0;
  EXPECT_EQ(ConnectOwnerSocket(scratch.File(std::string(120, 'n')), 1s), -1);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

class LineReadTest : public ::testing::Test {
 protected:
  LineReadTest() {
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_pair), 0);
    EXPECT_EQ(::pipe(m_cancel), 0);
  }
  ~LineReadTest() override {
    for (const int fd : {m_pair[0], m_pair[1], m_cancel[0], m_cancel[1]})
      if (fd >= 0) ::close(fd);
  }
  void Send(std::string_view bytes) {
    ASSERT_TRUE(WriteAllWithin(m_pair[1], bytes, Clock::now() + 1s));
  }
  LineRead Read(size_t maxBytes = 64, std::chrono::milliseconds wait = 1s) {
    line = "left from before";
    return ReadLineWithin(m_pair[0], pending, line, maxBytes, Clock::now() + wait, m_cancel[0]);
  }

  int m_pair[2] = {-1, -1};
  int m_cancel[2] = {-1, -1};
  std::string pending, line;
};

TEST_F(LineReadTest, LinesComeInOrderTheRestWaitsAndTooLongIsNotHeld) {
  Send("first\nsecond\nthi");
  EXPECT_EQ(Read(), LineRead::kLine);
  EXPECT_EQ(line, "first");
  EXPECT_EQ(Read(), LineRead::kLine);
  EXPECT_EQ(line, "second");
  EXPECT_EQ(Read(64, 50ms), LineRead::kTimedOut);
  EXPECT_EQ(line, "");
  Send("rd\n" + std::string(64, 'x') + "\n");
  EXPECT_EQ(Read(), LineRead::kLine);
  EXPECT_EQ(line, "third");
  EXPECT_EQ(Read(), LineRead::kLine) << "a line of exactly maxBytes is whole";
  EXPECT_EQ(line.size(), 64u);
  Send(std::string(4096, 'x') + "\n");
  EXPECT_EQ(Read(64), LineRead::kTooLong);
  EXPECT_LE(pending.size(), 65u);
  EXPECT_EQ(line, "");
}

TEST_F(LineReadTest, TheWaitEndsAtTheDeadlineOrAtCancel) {
  const auto start = Clock::now();
  EXPECT_EQ(Read(64, 100ms), LineRead::kTimedOut);
  EXPECT_TRUE(Took(start, 100, 100 + 150));
  ASSERT_EQ(::write(m_cancel[1], "x", 1), 1);
  EXPECT_EQ(Read(64, 10s), LineRead::kCancelled);
  EXPECT_EQ(line, "");
  EXPECT_TRUE(Took(start, 100, 5000));
  Send("partial");
  ::shutdown(m_pair[1], SHUT_WR);
  line = "left from before";
  EXPECT_EQ(ReadLineWithin(m_pair[0], pending, line, 64, Clock::now() + 1s), LineRead::kClosed);
  EXPECT_EQ(line, "");
}

// The descriptor is left blocking: the deadline must hold whatever mode the caller chose.
TEST_F(LineReadTest, WritingEndsWhenThePeerStopsReadingOrGoes) {
  const auto start = Clock::now();
  EXPECT_FALSE(WriteAllWithin(m_pair[1], std::string(16 << 20, 'x'), Clock::now() + 100ms));
  EXPECT_TRUE(Took(start, 100, 100 + 150));
  ::close(m_pair[0]);
  m_pair[0] = -1;
  EXPECT_FALSE(WriteAllWithin(m_pair[1], "x\n", Clock::now() + 1s)) << "and raises no SIGPIPE";
}

}  // namespace
}  // namespace tarnex
