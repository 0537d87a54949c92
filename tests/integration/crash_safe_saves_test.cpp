// Every file the console saves is replaced whole: a process killed at any moment of a save
// leaves the old version or the new one, never a mixture, and the next save takes away the
// temporary it left.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

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

struct SaveKind {
  const char* name;
  std::vector<const char*> files;
  int kills;
};

void PrintTo(const SaveKind& kind, std::ostream* out) {
  *out << kind.name;
}

// Watches a folder for the saver's temporary, so that a kill can land while the file is being
// written: a save of a fleet's configuration spends nearly all its time building the text, and
// a kill at a random time would almost never find its temporary open.
class TemporaryWatch {
 public:
  explicit TemporaryWatch(const fs::path& folder) : m_fd(::inotify_init1(IN_CLOEXEC)) {
    if (m_fd >= 0) ::inotify_add_watch(m_fd, folder.c_str(), IN_CREATE);
  }
  ~TemporaryWatch() {
    if (m_fd >= 0) ::close(m_fd);
  }
  TemporaryWatch(const TemporaryWatch&) = delete;
  TemporaryWatch& operator=(const TemporaryWatch&) = delete;

  // True once a temporary was created in the folder, false when the time ran out.
  bool WaitForTemporary(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd watch{m_fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&watch, 1, static_cast<int>(left.count())) <= 0) return false;
      const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && std::string_view(event->name).find(".tmp-") != std::string::npos) {
          return true;
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

 private:
  int m_fd;
};

class CrashSafeSavesTest : public ::testing::TestWithParam<SaveKind> {};

// Each kind runs as a case of its own, so that the kinds run side by side under CTest.
TEST_P(CrashSafeSavesTest, AKillAtAnyMomentLeavesTheOldOrTheNewFileWhole) {
  const SaveKind& kind = GetParam();
  std::mt19937 random(20261209);
  const fs::path folder = ScratchFolder();
  ASSERT_FALSE(folder.empty());
  // Every other kill lands at a random moment up to 50 ms after "ready"; the others land within
  // 100 us of the temporary's creation, while the file is being written.
  int leftTemporaries = 0;
  for (int kill = 0; kill < kind.kills; ++kill) {
    TemporaryWatch watch(folder);
    testing::ChildProcess saver(SAVE_LOOP_PROGRAM, {kind.name, folder.string()}, {});
    ASSERT_TRUE(saver.WaitForLine("ready", 30s)) << kill;
    if (kill % 2 == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 50000));
    } else {
      ASSERT_TRUE(watch.WaitForTemporary(30s)) << kill;
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 100));
    }
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
  std::printf("%s: %d of %d kills left a temporary behind\n", kind.name, leftTemporaries,
              kind.kills);
  fs::remove_all(folder);
}

// A fleet's configuration takes long to start and save under the sanitizers: fewer kills.
INSTANTIATE_TEST_SUITE_P(
    Files, CrashSafeSavesTest,
    ::testing::Values(SaveKind{"config", {"QXMNTConfig.ini"}, 60},
                      SaveKind{"login", {"QXMNTLoginConfig.ini"}, 200},
                      SaveKind{"alarm", {"QXMNTConfig.ini", "QXMNTSerialConfig.ini"}, 200},
                      SaveKind{"backup", {"hall.log"}, 200}),
    [](const ::testing::TestParamInfo<SaveKind>& kind) { return std::string(kind.param.name); });

}  // namespace
}  // namespace tarnex
