// Every file the console saves is replaced whole: a process killed at any moment of a save
// leaves the old version or the new one, never a mixture, and the next save takes away the
// temporary it left.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "support/child_process.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A folder in memory when there is one: the saves' flushes cost nothing there, and a rename
// is as atomic as on disk.
fs::path ScratchFolder() {
  const std::string base = fs::exists("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string name = base + "/tarnex-saves-XXXXXX";
  return ::mkdtemp(name.data()) != nullptr ? fs::path(name) : fs::path();
}

size_t Temporaries(const fs::path& folder) {
  size_t count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    count += entry.path().filename().string().find(".tmp-") != std::string::npos;
  }
  return count;
}

TEST(CrashSafeSavesTest, AKillAtAnyMomentLeavesTheOldOrTheNewFileWhole) {
  constexpr int kKills = 200;
  std::mt19937 random(20261209);
  struct Kind {
    const char* name;
    std::vector<const char*> files;
  };
  for (const Kind& kind :
       {Kind{"config", {"QXMNTConfig.ini"}}, Kind{"login", {"QXMNTLoginConfig.ini"}},
        Kind{"alarm", {"QXMNTConfig.ini", "QXMNTSerialConfig.ini"}},
        Kind{"backup", {"hall.log"}}}) {
    SCOPED_TRACE(kind.name);
    const fs::path folder = ScratchFolder();
    ASSERT_FALSE(folder.empty());
    int leftTemporaries = 0;
    for (int kill = 0; kill < kKills; ++kill) {
      testing::ChildProcess saver(SAVE_LOOP_PROGRAM, {kind.name, folder.string()}, {});
      ASSERT_TRUE(saver.WaitForLine("ready", 30s)) << kill;
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 50000));
      saver.Signal(SIGKILL);
      saver.Wait(10s);
      for (const char* file : kind.files) {
        const std::string now = Read(folder / file);
        const bool whole = now == Read(folder / "refs" / (std::string("A.") + file)) ||
                           now == Read(folder / "refs" / (std::string("B.") + file));
        ASSERT_TRUE(whole) << file << " after kill " << kill << " (" << now.size() << " bytes)";
      }
      leftTemporaries += Temporaries(folder) > 0;
    }
    // The next save that runs to its end, with something new to write, takes away what the
    // kills left.
    testing::ChildProcess saver(SAVE_LOOP_PROGRAM, {kind.name, folder.string(), "once"}, {});
    EXPECT_EQ(saver.Wait(30s), 0);
    EXPECT_EQ(Temporaries(folder), 0u);
    std::printf("%s: %d of %d kills left a temporary behind\n", kind.name, leftTemporaries, kKills);
    fs::remove_all(folder);
  }
}

}  // namespace
}  // namespace tarnex
