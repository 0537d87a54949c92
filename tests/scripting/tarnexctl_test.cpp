#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "scripting/script_request.h"
#include "scripting/target_names.h"
#include "support/loopback_block.h"
#include "support/sim_program.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;

FleetDirectory Hall() {
  FleetDirectory directory;
  for (int i = 0; i < 4; ++i) {
    directory.displays.push_back(
        {DisplayId(100 + i), -1, "10.0.0." + std::to_string(20 + i), i == 0 ? "Lobby" : ""});
  }
  directory.groups.push_back({"Hall", {2, 0, 1}});
  directory.groups.push_back({"Lobby", {3}});
  return directory;
}

// Every name resolves before anything is sent, and a name that could mean two things is
// refused rather than guessed.
TEST(TargetNames, ResolveOnceInTheOrderNamed) {
  const FleetDirectory directory = Hall();
  const ResolvedTargets hall = TargetFromNames(directory, {"group:Hall", "display:10.0.0.[22-23]"});
  ASSERT_EQ(hall.targets.size(), 5u);
  EXPECT_EQ(hall.targets[0].key, "10.0.0.22");
  EXPECT_EQ(hall.targets[1].name, "Lobby");
  EXPECT_EQ(hall.targets[4].id, DisplayId(103));

  const ResolvedTargets bare = TargetFromNames(directory, {"Lobby", "10.0.0.21", "Hall"});
  EXPECT_EQ(bare.ambiguous.size(), 1u);  // name:Lobby and group:Lobby
  EXPECT_EQ(bare.targets.size(), 4u);

  const ResolvedTargets missing =
      TargetFromNames(directory, {"display:10.0.0.[23-24]", "group:Nope", "set:5"});
  EXPECT_EQ(missing.notFound,
            (std::vector<std::string>{"display:10.0.0.24", "group:Nope", "set:5"}));

  for (const char* bad : {"display:10.0.0.[29-20]", "display:10.0.0", "display:10.0.[0-4].[0-255]",
                          "display:10.0.0.256"}) {
    EXPECT_EQ(TargetFromNames(directory, {bad}).malformed.size(), 1u) << bad;
  }
  EXPECT_EQ(ExpandAddressRange("10.0.[0-3].[0-249]").size(), 1000u);
}

// The socket's requests are a stranger's bytes: refused whole on anything unexpected.
TEST(ScriptRequests, RefuseWhatACatalogueCommandIsNot) {
  EXPECT_TRUE(IsCatalogueCommand("kd 01 01"));
  EXPECT_TRUE(IsCatalogueCommand("fa 01 12 34 56"));
  using namespace std::string_view_literals;
  for (std::string_view bad : {"kd 01 01\r"sv, "kd 01 0x"sv, "KD 01 01"sv, "kd 01"sv,
                               "kd 01 01 02 03 04"sv, "kd  01 01"sv, "kd 01 0\0"sv}) {
    EXPECT_FALSE(IsCatalogueCommand(bad)) << bad;
  }
  EXPECT_TRUE(RequestFromJson(R"({"verb":"status","targets":["a"]})").request);
  for (const char* bad : {R"({"verb":"status","targets":["a"],"extra":1})",
                          R"({"verb":"status","targets":["a\u0007"]})",
                          R"({"verb":"send","targets":["a"],"command":"kd 01 01\n"})",
                          R"({"verb":"power","targets":["a"],"timeout":0})", "[1]", "{"}) {
    EXPECT_FALSE(RequestFromJson(bad).request) << bad;
  }
}

// ---- The program against simulated displays ----

class Tarnexctl : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/tarnexctl-test-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    folder_ = folder;
    ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    std::ofstream config(folder_ + "/QXMNTConfig.ini");
    config << "[Communication]\nm_docCommunicationTrue=1\nm_docCommunicationSelect=1\n"
           << "[VALUE]\nm_docSocketNumber=3\n[TREENAME]\n0=[Lobby]" << a_ << "\n2=[Hall]" << c_
           << "\n[SINGLE]\n0=" << a_ << "\n1=" << b_ << "\n2=" << c_
           << "\n[GROUPCOUNT]\nm_docGroupNumCount=1\n"
           << "[GROUPCHILDCOUNT]\n0=3\n[GROUPNAME]\n0=Hall\n[GROUPCHILDNAME]\n0=[1][Lobby]" << a_
           << "\n1=[2]" << b_ << "\n2=[3]" << c_ << "\n[GROUPIPLIST]\n0=" << a_ << "\n1=" << b_
           << "\n2=" << c_ << "\n";
  }
  void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

  // The exit status; stdout in `out`.
  int Run(const std::string& arguments, std::string* out = nullptr) {
    const std::string command = std::string(TARNEXCTL_PROGRAM) + " --config '" + folder_ + "/' " +
                                arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      text.append(buffer, got);
    const int status = ::pclose(pipe);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Whether the document `out` follows the schema, when the validator can run here.
  bool FollowsTheSchema(const std::string& out) {
    if (std::system("python3 -c 'import jsonschema' 2>/dev/null") != 0 ||
        !std::ifstream(SCHEMA_FILE).good())
      return true;
    std::ofstream(folder_ + "/doc.json") << out;
    return std::system(
               ("python3 " VALIDATOR " " SCHEMA_FILE " < '" + folder_ + "/doc.json'").c_str()) == 0;
  }

  std::string Config() {
    std::ifstream in(folder_ + "/QXMNTConfig.ini");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string Log() {
    std::ifstream in(folder_ + "/sim.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string folder_;
  std::string a_ = testing::Loopback(1), b_ = testing::Loopback(2), c_ = testing::Loopback(3);
};

TEST_F(Tarnexctl, ExitCodesTellWhatHappened) {
  sim::testing::Program displays({"--tcp", a_ + "," + b_, "--log", folder_ + "/sim.log"});
  ASSERT_NE(displays.FirstLine(10s).find("display-sim: ready"), std::string::npos);
  std::string out;
  EXPECT_EQ(Run("--json status group:Hall", &out), 4);  // the third display is not there
  EXPECT_NE(out.find("\"code\": \"no_reply\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"power\": \"on\""), std::string::npos) << out;
  EXPECT_TRUE(FollowsTheSchema(out));
  EXPECT_EQ(Run("status Lobby " + b_), 0);
  EXPECT_EQ(Run("status nowhere"), 10);
  EXPECT_EQ(Run("status Hall"), 2);  // the group, or the display of that name
  const std::string before = Log();
  EXPECT_EQ(Run("send 'kd 01 0x' Hall"), 2);
  EXPECT_EQ(Run("send 'kd 01 01' group:Hall display:10.0.0.1"), 10);
  EXPECT_EQ(Log(), before) << "nothing reaches a display from a refused request";
  EXPECT_EQ(Run("send 'kd 01 01' name:Lobby", &out), 0);
  EXPECT_NE(out.find("reply=d 01 OK01x"), std::string::npos) << out;
}

// With no console running, tarnexctl owns the folder and writes its schedule edits itself;
// a refused edit changes nothing.
TEST_F(Tarnexctl, ScheduleEditsGoToTheFolderThatOwnsThem) {
  const std::string add =
      "schedule add Evening --target group:Hall --action 'power off' --at 22:00 --days mon,fri";
  EXPECT_EQ(Run(add), 0);
  EXPECT_NE(Config().find("[SCHEDULENAME]"), std::string::npos) << Config();
  EXPECT_NE(Config().find("0=Evening"), std::string::npos) << Config();
  const std::string kept = Config();
  EXPECT_EQ(Run(add), 2);  // the name is taken
  EXPECT_EQ(Run("schedule add Late --target group:Hall --action 'power up' --at 23:00 --days mon"),
            2);
  EXPECT_EQ(Run("schedule remove Nope"), 10);
  EXPECT_EQ(Config(), kept);
  EXPECT_EQ(Run("schedule disable Evening"), 0);
  std::string out;
  EXPECT_EQ(Run("--json schedule list", &out), 0);
  EXPECT_NE(out.find("\"when\": \"WEEKLY 22:00 mon,fri\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"state\": \"off\""), std::string::npos) << out;
  EXPECT_TRUE(FollowsTheSchema(out)) << out;
  EXPECT_EQ(Run("--json schedule run-due", &out), 0);
  EXPECT_TRUE(FollowsTheSchema(out)) << out;
  EXPECT_EQ(Run("schedule remove Evening"), 0);
  EXPECT_EQ(Config().find("0=Evening"), std::string::npos) << Config();
}

}  // namespace
}  // namespace tarnex
