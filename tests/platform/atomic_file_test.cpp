#include "platform/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/scratch_folder.h"
#include "support/other_user.h"

namespace tarnex {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

// Another program's save between its temporary and its rename holds the folder's shared
// lock, as every save does: its temporary is no leftover until that writer is gone.
TEST(AtomicFile, LeavesTheTemporariesOfLiveWritersAlone) {
  ScratchFolder folder;
  const std::string file = folder.File("QXMNTConfig.ini");
  const std::string live = folder.File(".QXMNTConfig.ini.tmp-Live01");
  WriteBytes(live, "half");
  const int other = ::open(folder.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(::flock(other, LOCK_SH), 0);
  EXPECT_TRUE(WriteFileAtomically(file, "mine"));
  EXPECT_EQ(ReadBytes(live), "half");
  ::close(other);
  EXPECT_TRUE(WriteFileAtomically(file, "again"));
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"QXMNTConfig.ini"});
  EXPECT_EQ(ReadBytes(file), "again");
}

struct stat Stat(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info;
}

// The rename asks only the folder: in one open to all, an operator could otherwise replace a
// file of root's and make it theirs. A file root saves for an operator stays the operator's.
TEST(AtomicFile, ReplacesOnlyWhatTheUserMayWriteAndKeepsTheOwner) {
  TARNEX_SKIP_UNLESS_ROOT();
  ScratchFolder folder;
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0777), 0);
  const std::string roots = folder.File("roots.ini");
  const std::string shared = folder.File("shared.ini");
  WriteBytes(roots, "root's");
  WriteBytes(shared, "root's");
  ASSERT_EQ(::chmod(roots.c_str(), 0644), 0);
  // The operator may write this one, but the new file could not be root's again.
  ASSERT_EQ(::chown(shared.c_str(), 0, testing::kOtherGid), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 0664), 0);
  {
    testing::AsOtherUser other;
    ASSERT_TRUE(other.Ok());
    EXPECT_FALSE(WriteFileAtomically(roots, "operator's"));
    EXPECT_FALSE(WriteFileAtomically(shared, "operator's"));
  }
  for (const std::string& path : {roots, shared}) {
    EXPECT_EQ(ReadBytes(path), "root's");
    EXPECT_EQ(Stat(path).st_uid, 0u);
  }
  const std::string theirs = folder.File("theirs.ini");
  WriteBytes(theirs, "operator's");
  ASSERT_TRUE(testing::GiveAway(theirs));
  ASSERT_EQ(::chmod(theirs.c_str(), 0640), 0);
  EXPECT_TRUE(WriteFileAtomically(theirs, "saved by root"));
  const struct stat saved = Stat(theirs);
  EXPECT_EQ(saved.st_uid, testing::kOtherUid);
  EXPECT_EQ(saved.st_gid, testing::kOtherGid);
  EXPECT_EQ(saved.st_mode & 07777, 0640u);
  EXPECT_EQ(folder.Entries().size(), 3u) << "temporary left";
}

}  // namespace
}  // namespace tarnex
