#include "platform/private_profile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/scratch_folder.h"
#include "support/other_user.h"

namespace tarnex {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

std::string Read(const std::string& file, const char* section, const char* key,
                 const char* fallback = "dflt", unsigned size = 256) {
  std::string buffer(size, '\x7f');
  const unsigned count =
      GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file.c_str());
  EXPECT_EQ(buffer[count], '\0');
  return buffer.substr(0, count);
}

unsigned Write(const std::string& file, const char* section, const char* key, const char* value) {
  return WritePrivateProfileStringA(section, key, value, file.c_str());
}

// Mixed line ends, odd spacing and quoting, as hand-edited files have them.
constexpr char kSample[] =
    "; leading comment\r\n"
    "[Main]\r\n"
    "  Name =  Lobby wall  \r\n"
    "dq=\"  quoted  \"\r\n"
    "sq='x'\r\n"
    "mixed=\"x'\r\n"
    "lone=\"\r\n"
    "empty=\r\n"
    "noequals\r\n"
    ";hidden=1\r\n"
    "name=second wins nothing\r\n"
    "[ Spaced ]\n"
    "k = lf\n"
    "[cr]\r"
    "k=cr only\r"
    "[main]\r\n"
    "later=duplicate section\r\n";

TEST(PrivateProfileRead, ValuesAsWindowsReturnsThem) {
  ScratchFolder folder;
  const std::string file = folder.File("sample.ini");
  WriteBytes(file, kSample);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"Main", "Name", "Lobby wall"},
      {"MAIN", "name", "Lobby wall"},
      {" main ", " NAME ", "Lobby wall"},
      {"Main", "dq", "  quoted  "},
      {"Main", "sq", "x"},
      {"Main", "mixed", "\"x'"},
      {"Main", "lone", "\""},
      {"Main", "empty", ""},
      {"Main", "noequals", "dflt"},
      {"Main", ";hidden", "dflt"},
      {"Spaced", "k", "lf"},
      {"cr", "k", "cr only"},
      {"Main", "later", "dflt"},
      {"Main", "missing", "dflt"},
      {"Nowhere", "Name", "dflt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(file, c.section, c.key), c.expected) << c.section << "/" << c.key;
  }
  EXPECT_EQ(Read(folder.File("absent.ini"), "Main", "Name"), "dflt");
}

TEST(PrivateProfileRead, BufferAndDefaultRules) {
  ScratchFolder folder;
  const std::string file = folder.File("sample.ini");
  WriteBytes(file, "[s]\r\nk=abcdef\r\n");
  EXPECT_EQ(Read(file, "s", "k", "", 4), "abc");
  EXPECT_EQ(Read(file, "s", "k", "", 7), "abcdef");
  EXPECT_EQ(Read(file, "s", "k", "", 1), "");
  EXPECT_EQ(Read(file, "s", "none", "def  ", 64), "def");
  EXPECT_EQ(Read(file, "s", "none", "  lead", 64), "  lead");
  EXPECT_EQ(Read(file, "s", "none", nullptr, 64), "");
  char untouched = 'z';
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", &untouched, 0, file.c_str()), 0u);
  EXPECT_EQ(untouched, 'z');
}

TEST(PrivateProfileRead, IntegersStopAtTheFirstNonDigit) {
  ScratchFolder folder;
  const std::string file = folder.File("ints.ini");
  WriteBytes(file,
             "[n]\r\na=42A\r\nb=B42\r\nc=-1\r\nd=+7\r\ne=\r\nf=\"12\"\r\ng= 8 \r\nh=-\r\n"
             "i=4294967297\r\n");
  struct Case {
    const char* key;
    unsigned expected;
  };
  const Case cases[] = {{"a", 42}, {"b", 0}, {"c", 4294967295u}, {"d", 7}, {"e", 99},
                        {"f", 12}, {"g", 8}, {"h", 0},           {"i", 1}, {"missing", 99}};
  for (const Case& c : cases) {
    EXPECT_EQ(GetPrivateProfileIntA("n", c.key, 99, file.c_str()), c.expected) << c.key;
  }
  EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("n", "c", 0, file.c_str())), -1);
  EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("n", "zz", -5, file.c_str())), -5);
}

TEST(PrivateProfileRead, ListsSectionAndKeyNames) {
  ScratchFolder folder;
  const std::string file = folder.File("list.ini");
  WriteBytes(file, "[A]\r\nx=1\r\n;c\r\ny=2\r\n[B]\r\n");
  char buffer[64];
  unsigned count = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, 64, file.c_str());
  EXPECT_EQ(std::string(buffer, count + 1), std::string("A\0B\0\0", 5));
  count = GetPrivateProfileStringA("a", nullptr, "", buffer, 64, file.c_str());
  EXPECT_EQ(std::string(buffer, count + 1), std::string("x\0y\0\0", 5));
  count = GetPrivateProfileStringA("a", nullptr, "", buffer, 3, file.c_str());
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(std::string(buffer, 3), std::string("x\0\0", 3));
}

// Text after a header's "]" may hold a "=": the header is still no key of its section.
TEST(PrivateProfileRead, ListsNoHeaderAsKey) {
  ScratchFolder folder;
  const std::string file = folder.File("header.ini");
  WriteBytes(file, "[A] ; a=b\r\nx=1\r\n");
  char buffer[64];
  const unsigned count = GetPrivateProfileStringA("A", nullptr, "", buffer, 64, file.c_str());
  EXPECT_EQ(std::string(buffer, count + 1), std::string("x\0\0", 3));
}

// Each write applied to the same starting file, and the exact bytes it must leave.
TEST(PrivateProfileWrite, KeepsEveryOtherByte) {
  const std::string start =
      "; top comment\r\n"
      "[One]\r\n"
      "a = 1\r\n"
      "odd line\r\n"
      "\r\n"
      "[Two]\n"
      "b=2\n";
  struct Case {
    const char* name;
    const char* section;
    const char* key;
    const char* value;
    std::string expected;
  };
  const Case cases[] = {
      {"replace in place", "one", "A", "10",
       "; top comment\r\n[One]\r\na=10\r\nodd line\r\n\r\n[Two]\nb=2\n"},
      {"append to section", "One", "c", "3",
       "; top comment\r\n[One]\r\na = 1\r\nodd line\r\nc=3\r\n\r\n[Two]\nb=2\n"},
      {"append to last section", "Two", "c", "3",
       "; top comment\r\n[One]\r\na = 1\r\nodd line\r\n\r\n[Two]\nb=2\nc=3\r\n"},
      {"new section", "Three", "k", " v ",
       "; top comment\r\n[One]\r\na = 1\r\nodd line\r\n\r\n[Two]\nb=2\n\r\n[Three]\r\nk= v \r\n"},
      {"delete key", "One", "a", nullptr, "; top comment\r\n[One]\r\nodd line\r\n\r\n[Two]\nb=2\n"},
      {"delete section", "One", nullptr, nullptr, "; top comment\r\n[Two]\nb=2\n"},
      {"delete missing key", "One", "zz", nullptr, start},
      {"same value", "Two", "b", "2", start},
  };
  for (const Case& c : cases) {
    ScratchFolder folder;
    const std::string file = folder.File("w.ini");
    WriteBytes(file, start);
    EXPECT_EQ(Write(file, c.section, c.key, c.value), 1u) << c.name;
    EXPECT_EQ(ReadBytes(file), c.expected) << c.name;
  }
}

TEST(PrivateProfileWrite, CreatesTheFileAndHandlesUnterminatedAndCrOnlyFiles) {
  ScratchFolder folder;
  const std::string created = folder.File("new.ini");
  EXPECT_EQ(Write(created, "S", "k", "v"), 1u);
  EXPECT_EQ(Write(created, "S", "k2", ""), 1u);
  EXPECT_EQ(ReadBytes(created), "[S]\r\nk=v\r\nk2=\r\n");
  EXPECT_EQ(Read(created, "S", "k2"), "");

  const std::string bare = folder.File("bare.ini");
  WriteBytes(bare, "[S]\r\nk=v");
  EXPECT_EQ(Write(bare, "S", "n", "1"), 1u);
  EXPECT_EQ(ReadBytes(bare), "[S]\r\nk=v\r\nn=1\r\n");

  const std::string cr = folder.File("cr.ini");
  WriteBytes(cr, "[S]\rk=v\r[T]\rx=y\r");
  EXPECT_EQ(Write(cr, "s", "K", "w"), 1u);
  EXPECT_EQ(ReadBytes(cr), "[S]\rk=w\r\n[T]\rx=y\r");

  // Nothing to delete: no file appears.
  EXPECT_EQ(Write(folder.File("none.ini"), "S", "k", nullptr), 1u);
  EXPECT_EQ(::access(folder.File("none.ini").c_str(), F_OK), -1);
}

TEST(PrivateProfileWrite, RefusesLineBreaksThatWouldForgeKeys) {
  ScratchFolder folder;
  const std::string file = folder.File("w.ini");
  WriteBytes(file, "[S]\r\nk=v\r\n");
  EXPECT_EQ(Write(file, "S", "k", "x\r\n[Evil]\r\nk=1"), 0u);
  EXPECT_EQ(Write(file, "S", "k\nj", "1"), 0u);
  EXPECT_EQ(Write(file, "S\r", "k", "1"), 0u);
  EXPECT_EQ(Write(file, "S", "[k", "1"), 0u);
  EXPECT_EQ(Write(file, "S", "a=b", "1"), 0u);
  EXPECT_EQ(ReadBytes(file), "[S]\r\nk=v\r\n");
}

TEST(PrivateProfileWrite, HighBytesRoundTrip) {
  ScratchFolder folder;
  const std::string file = folder.File("bytes.ini");
  std::string value;
  for (int b = 0x80; b <= 0xff; ++b) value.push_back(static_cast<char>(b));
  EXPECT_EQ(Write(file, "LOGIN", "v", value.c_str()), 1u);
  EXPECT_EQ(Read(file, "login", "V", "", 1000), value);
}

TEST(PrivateProfileCache, EditsStayWithTheirOwnerUntilSaved) {
  ScratchFolder folder;
  const std::string file = folder.File("batch.ini");
  WriteBytes(file, "[S]\r\nold=1\r\n");
  {
    ProfileCache cache(file);
    for (int i = 0; i < 1000; ++i) {
      ASSERT_TRUE(cache.Write("S", std::to_string(i).c_str(), "x"));
    }
    EXPECT_EQ(cache.Text().Value("S", "999"), "x");
    EXPECT_EQ(ReadBytes(file), "[S]\r\nold=1\r\n");
    // Someone else's write is neither held back nor swallowed by these pending edits.
    EXPECT_EQ(Write(file, "T", "t", "1"), 1u);
    EXPECT_EQ(ReadBytes(file), "[S]\r\nold=1\r\n\r\n[T]\r\nt=1\r\n");
    EXPECT_EQ(Read(file, "S", "999"), "dflt");
  }
  ProfileCache cache(file);
  cache.Write("S", "old", "2");
  cache.Write("S", "0", "x");
  EXPECT_TRUE(cache.Save());
  EXPECT_EQ(ReadBytes(file), "[S]\r\nold=2\r\n0=x\r\n\r\n[T]\r\nt=1\r\n");
  EXPECT_TRUE(cache.Save()) << "nothing pending";
}

TEST(PrivateProfileWrite, ConcurrentWritersLoseNothing) {
  ScratchFolder folder;
  const std::string file = folder.File("shared.ini");
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&file, t] {
      for (int i = 0; i < 25; ++i) {
        const std::string key = std::to_string(t) + "_" + std::to_string(i);
        Write(file, "S", key.c_str(), "v");
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 25; ++i) {
      const std::string key = std::to_string(t) + "_" + std::to_string(i);
      EXPECT_EQ(Read(file, "S", key.c_str()), "v") << key;
    }
  }
}

struct FaultAt {
  explicit FaultAt(AtomicFileStep step) {
    SetAtomicFileFaultHook([step](AtomicFileStep now) { return now == step; });
  }
  ~FaultAt() { SetAtomicFileFaultHook({}); }
};

TEST(PrivateProfileBatch, AFailedReplacementLeavesTheOldFileWhole) {
  for (AtomicFileStep step : {AtomicFileStep::kCreateTemp, AtomicFileStep::kWrite,
                              AtomicFileStep::kSync, AtomicFileStep::kRename}) {
    ScratchFolder folder;
    const std::string file = folder.File("keep.ini");
    WriteBytes(file, "[S]\r\nk=old\r\n");
    {
      FaultAt fault(step);
      EXPECT_EQ(Write(file, "S", "k", "new"), 0u);
      ProfileCache cache(file);
      EXPECT_TRUE(cache.Write("S", "k", "newer"));
      EXPECT_FALSE(cache.Save());
    }
    EXPECT_EQ(ReadBytes(file), "[S]\r\nk=old\r\n");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"keep.ini"}) << "temporary left";
    EXPECT_EQ(Read(file, "S", "k"), "old") << "a failed write must not be read back";
  }
}

TEST(PrivateProfileCache, SeesChangesMadeOnDisk) {
  ScratchFolder folder;
  const std::string file = folder.File("coherent.ini");
  EXPECT_EQ(Write(file, "S", "k", "mine"), 1u);
  EXPECT_EQ(Read(file, "S", "k"), "mine");
  WriteBytes(file, "[S]\r\nk=edited by hand\r\n");
  EXPECT_EQ(Read(file, "S", "k"), "edited by hand");
  EXPECT_EQ(Write(file, "S", "j", "1"), 1u);
  EXPECT_EQ(ReadBytes(file), "[S]\r\nk=edited by hand\r\nj=1\r\n");
  ::unlink(file.c_str());
  EXPECT_EQ(Read(file, "S", "k"), "dflt");
}

TEST(PrivateProfileCache, OversizedFileReadsEmptyAndIsNotOverwritten) {
  ScratchFolder folder;
  const std::string file = folder.File("huge.ini");
  WriteBytes(file, "[S]\r\nk=v\r\n");
  ASSERT_EQ(::truncate(file.c_str(), static_cast<off_t>(kMaxProfileBytes) + 1), 0);
  EXPECT_EQ(Read(file, "S", "k"), "dflt");
  EXPECT_EQ(Write(file, "S", "k", "w"), 0u);
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(static_cast<unsigned long>(info.st_size), kMaxProfileBytes + 1);
  // Millions of empty lines would cost far more memory than bytes: bounded as well.
  const std::string lines = folder.File("lines.ini");
  WriteBytes(lines, "[S]\r\nk=v\r\n" + std::string(kMaxProfileLines, '\n'));
  EXPECT_EQ(Read(lines, "S", "k"), "dflt");
  EXPECT_EQ(Write(lines, "S", "k", "w"), 0u);
  // A folder where a file should be is unreadable too, not a crash.
  EXPECT_EQ(Read(folder.Path(), "S", "k"), "dflt");
  EXPECT_EQ(Write(folder.Path(), "S", "k", "v"), 0u);
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// A kill during a save leaves its marked temporary behind; the next save of that file clears
// such leftovers and nothing else: copies an operator keeps beside the file must survive.
TEST(AtomicFile, ClearsOnlyItsOwnMarkedLeftovers) {
  ScratchFolder folder;
  const std::string file = folder.File("QXMNTConfig.ini");
  WriteBytes(file, "[S]\r\nk=v\r\n");
  for (const char* stale : {".QXMNTConfig.ini.tmp-a1B2c3", ".QXMNTConfig.ini.tmp-ZZZZZZ"}) {
    WriteBytes(folder.File(stale), "[S]\r\nk=");
  }
  const std::vector<std::string> kept = {"QXMNTConfig.ini",
                                         "QXMNTConfig.ini.backup",
                                         "QXMNTConfig.ini.201224",
                                         "QXMNTSerialConfig.ini.before",
                                         "QXMNTConfig.ini.a1B2c3",
                                         "QXMNTConfig.ini.tmp-a1B2c3",
                                         ".QXMNTConfig.ini.tmp-a1B2c",
                                         ".QXMNTConfig.ini.tmp-a1B2c3d",
                                         ".QXMNTConfig.ini.tmp-a1-2c3",
                                         ".QXMNTSerialConfig.ini.tmp-a1B2c3"};
  for (size_t i = 1; i < kept.size(); ++i) WriteBytes(folder.File(kept[i]), "mine");
  EXPECT_EQ(Write(file, "S", "k", "w"), 1u);
  EXPECT_EQ(Sorted(folder.Entries()), Sorted(kept));
  for (size_t i = 1; i < kept.size(); ++i) EXPECT_EQ(ReadBytes(folder.File(kept[i])), "mine");

  // A second save of the same file while this one fills its temporary leaves it alone.
  bool nested = false;
  SetAtomicFileFaultHook([&](AtomicFileStep step) {
    if (step == AtomicFileStep::kSync && !nested) {
      nested = true;
      EXPECT_TRUE(WriteFileAtomically(file, "inner"));
    }
    return false;
  });
  EXPECT_TRUE(WriteFileAtomically(file, "outer"));
  SetAtomicFileFaultHook({});
  EXPECT_TRUE(nested);
  EXPECT_EQ(ReadBytes(file), "outer");
}

// A file that is a link is written where the link points; its temporary is made there, and
// the clean-up looks there, never beside the link.
TEST(AtomicFile, WritesThroughLinks) {
  ScratchFolder folder;
  ScratchFolder elsewhere;
  const std::string file = elsewhere.File("QXMNTConfig.ini");
  WriteBytes(file, "[S]\r\nk=v\r\n");
  WriteBytes(elsewhere.File(".QXMNTConfig.ini.tmp-a1B2c3"), "left");
  WriteBytes(folder.File(".QXMNTConfig.ini.tmp-a1B2c3"), "not the target's");
  const std::string link = folder.File("QXMNTConfig.ini");
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  std::vector<std::string> filling;
  SetAtomicFileFaultHook([&](AtomicFileStep step) {
    if (step == AtomicFileStep::kWrite) filling = elsewhere.Entries();
    return false;
  });
  EXPECT_EQ(Write(link, "S", "k", "through"), 1u);
  SetAtomicFileFaultHook({});
  ASSERT_EQ(filling.size(), 2u);
  EXPECT_EQ(Sorted(filling)[0].rfind(".QXMNTConfig.ini.tmp-", 0), 0u);
  EXPECT_EQ(elsewhere.Entries(), std::vector<std::string>{"QXMNTConfig.ini"});
  EXPECT_EQ(Sorted(folder.Entries()), Sorted({"QXMNTConfig.ini", ".QXMNTConfig.ini.tmp-a1B2c3"}));
  struct stat info {};
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadBytes(file), "[S]\r\nk=through\r\n");
  // A link to a file not made yet creates that file.
  const std::string dangling = folder.File("dangling.ini");
  ASSERT_EQ(::symlink(folder.File("made.ini").c_str(), dangling.c_str()), 0);
  EXPECT_EQ(Write(dangling, "S", "k", "1"), 1u);
  EXPECT_EQ(ReadBytes(folder.File("made.ini")), "[S]\r\nk=1\r\n");
}

// Another program's save, between its temporary and its rename, holds the folder's shared lock
// as every save does: its temporary is no leftover until that writer is gone.
TEST(AtomicFile, LeavesTheTemporariesOfLiveWritersAlone) {
  ScratchFolder folder;
  const std::string file = folder.File("QXMNTConfig.ini");
  WriteBytes(folder.File(".QXMNTConfig.ini.tmp-Live01"), "half");
  const int other = ::open(folder.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(::flock(other, LOCK_SH), 0);
  EXPECT_TRUE(WriteFileAtomically(file, "mine"));
  EXPECT_EQ(folder.Entries().size(), 2u);
  ::close(other);
  EXPECT_TRUE(WriteFileAtomically(file, "again"));
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"QXMNTConfig.ini"});
}

// The rename asks only the folder: in one open to all, an operator could replace root's file
// and make it theirs. A file root saves for an operator stays the operator's.
TEST(AtomicFile, ReplacesOnlyWhatTheUserMayWriteAndKeepsTheOwner) {
  TARNEX_SKIP_UNLESS_ROOT();
  ScratchFolder folder;
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0777), 0);
  const std::string roots = folder.File("roots.ini");
  const std::string shared = folder.File("shared.ini");
  WriteBytes(roots, "root's");
  WriteBytes(shared, "root's");
  // The operator may write the shared one, but could not give the new file back to root.
  ASSERT_EQ(::chown(shared.c_str(), 0, testing::kOtherGid) | ::chmod(shared.c_str(), 0664), 0);
  {
    testing::AsOtherUser other;
    ASSERT_TRUE(other.Ok());
    EXPECT_FALSE(WriteFileAtomically(roots, "operator's"));
    EXPECT_FALSE(WriteFileAtomically(shared, "operator's"));
  }
  EXPECT_EQ(ReadBytes(roots) + ReadBytes(shared), "root'sroot's");
  ASSERT_TRUE(testing::GiveAway(roots));
  EXPECT_TRUE(WriteFileAtomically(roots, "saved by root"));
  struct stat saved {};
  ASSERT_EQ(::stat(roots.c_str(), &saved), 0);
  EXPECT_EQ(saved.st_uid, testing::kOtherUid);
  EXPECT_EQ(saved.st_gid, testing::kOtherGid);
}

}  // namespace
}  // namespace tarnex
