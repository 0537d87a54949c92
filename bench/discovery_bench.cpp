// discovery-bench: the Search command's core against one display-sim process whose 1000
// displays (127.0.1.1 upwards, about half of them unreachable over TCP) all answer the search on
// loopback; none is stored beforehand. It times Search to "Completed" and counts the displays
// found in the table and the tree:
//   discovery <ms> ms, found <n>/1000
// Target: the quiet period (1.5 s) plus under 2.5 s, and no answer lost.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "console/console_core.h"
#include "console/display_discovery.h"
#include "platform/open_file_limit.h"

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kDisplays = 1000;
// The unreachable half, give or take the host parts left out.
constexpr const char* kThirdAndFourth = "127.0.3.1-127.0.3.254,127.0.4.1-127.0.4.238";
constexpr uint16_t kPort = 39761;  // away from the displays' own port, loopback only

class QuietUi : public UiHost {
 public:
  void ShowMessage(std::string_view text) override {
    std::printf("discovery-bench: box \"%.*s\"\n", static_cast<int>(text.size()), text.data());
  }
  bool AskYesNo(std::string_view, std::string_view) override { return false; }
  void ProgressCreate() override {}
  void ProgressSetPos(int) override {}
  void ProgressDestroy() override {}
  void TreeChanged() override {}
  void PageMustRefresh() override {}
};

// The display-sim program until the bench ends; its first line says it is ready.
class Sim {
 public:
  explicit Sim(std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    std::string path = Program();
    std::vector<char*> argv{path.data()};
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::dup2(out[1], STDOUT_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    m_out = out[0];
  }
  ~Sim() {
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
    ::close(m_out);
  }
  Sim(const Sim&) = delete;
  Sim& operator=(const Sim&) = delete;

  bool Ready() {
    std::string line;
    char c;
    pollfd entry{m_out, POLLIN, 0};
    while (::poll(&entry, 1, 30000) > 0 && ::read(m_out, &c, 1) == 1 && c != '\n') line += c;
    return line.starts_with("display-sim: ready");
  }

 private:
  static std::string Program() {
    std::error_code error;
    const auto beside =
        std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "display-sim";
    return !error && std::filesystem::exists(beside) ? beside.string() : DISPLAY_SIM_PROGRAM;
  }
  pid_t m_pid = -1;
  int m_out = -1;
};

int Run() {
  RaiseOpenFileLimit();
  char folder[] = "/tmp/discovery-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) throw std::runtime_error("no scratch folder");
  ::setenv("TARNEX_CONFIG_DIR", (std::string(folder) + "/").c_str(), 1);
  // Host parts .0 and .255 are no display's, so the fleet leaves them out.
  Sim sim({"--tcp", std::string("127.0.1.1-127.0.1.254,127.0.2.1-127.0.2.254,") + kThirdAndFourth,
           "--unreachable", kThirdAndFourth, "--udp=" + std::to_string(kPort)});
  if (!sim.Ready()) throw std::runtime_error("display-sim did not get ready");

  QuietUi ui;
  COsprelNetworkManagerDoc doc;
  doc.m_docSocketNumber = 0;
  int found = 0;
  int shown = 0;
  long long ms = 0;
  {
    CConsoleCore core(doc, ui);
    core.BuildTree();
    SearchOptions options;
    options.broadcastAddress = "127.255.255.255";
    options.port = kPort;
    const auto start = Clock::now();
    Clock::time_point completed;
    CDisplayDiscovery::Hooks hooks;
    hooks.completed = [&] { completed = Clock::now(); };
    CDisplayDiscovery(core).Run(options, hooks);
    ms = std::chrono::duration_cast<std::chrono::milliseconds>(completed - start).count();
    auto state = core.Lock();
    found = state->Doc().m_docSocketNumber;
    shown = static_cast<int>(state->Tree().SingleLabels().size());
  }
  std::filesystem::remove_all(folder);
  std::printf("discovery %lld ms, found %d/%d (%d in the tree)\n", ms, found, kDisplays, shown);
  return found == kDisplays && shown == kDisplays ? 0 : 1;
}

}  // namespace
}  // namespace tarnex

int main() {
  ::signal(SIGPIPE, SIG_IGN);
  try {
    return tarnex::Run();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "discovery-bench: %s\n", error.what());
    return 2;
  }
}
