#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "support/console_fixture.h"
#include "support/sim_program.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;

// What the child found, as its exit status: 0 when every display was either connected or
// reported as lacking a descriptor, and none was taken for a refusal.
int StartUnderTheLimit(const std::vector<std::string>& addresses) {
  const rlimit limit{256, 256};
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return 10;
  testing::RecordingUiHost ui;
  COsprelNetworkManagerDoc doc;
  doc.m_docSocketNumber = static_cast<int>(addresses.size());
  for (size_t i = 0; i < addresses.size(); ++i) doc.m_docDisplays[i].m_address = addresses[i];
  CConsoleCore core(doc, ui);
  core.BuildTree();
  const int connected =
      static_cast<int>(std::count(doc.m_docConnectState.begin(), doc.m_docConnectState.end(), 1));
  if (connected == 0 || connected == static_cast<int>(addresses.size())) return 11;
  const auto messages = ui.Messages();
  if (messages.size() != 1 || messages[0].find("Too many open files: " +
                                               std::to_string(addresses.size() - connected)) != 0) {
    return 12;
  }
  std::ifstream history(doc.m_docConfigFolder + "Network_HistoryReport.txt");
  const std::string text((std::istreambuf_iterator<char>(history)), {});
  if (text.find("Disconnected to Monitor") != std::string::npos) return 13;
  return 0;
}

// A desktop login's soft limit is often lower than a fleet needs. Displays the console has no
// descriptor for are told as such, never as displays that refused.
TEST(DescriptorLimit, DisplaysWithoutADescriptorAreNotTakenForRefusals) {
  sim::testing::Program displays({"--tcp", testing::LoopbackRange(1, 300)});
  ASSERT_NE(displays.FirstLine(10s).find("display-sim: ready"), std::string::npos);
  std::vector<std::string> addresses;
  for (int i = 0; i < 300; ++i) addresses.push_back(testing::Loopback(i + 1));
  char folder[] = "/tmp/tarnex-limit-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  ::setenv("TARNEX_CONFIG_DIR", (std::string(folder) + "/").c_str(), 1);

  const pid_t child = ::fork();
  if (child == 0) ::_exit(StartUnderTheLimit(addresses));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  std::system(("rm -rf '" + std::string(folder) + "'").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tarnex
