#include <gtest/gtest.h>

#include <algorithm>

#include "scripting/script_runner.h"
#include "support/console_fixture.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;
using Clock = std::chrono::steady_clock;

class ScriptRunnerTest : public ConsoleFixture {
 protected:
  ScriptRequest PowerOff(std::vector<std::string> targets) {
    ScriptRequest request;
    request.verb = ScriptRequest::Verb::kPower;
    request.targets = std::move(targets);
    return request;
  }
  ScriptRunOptions Options() {
    return {.deadline = Clock::now() + std::chrono::seconds(10), .linksKnown = true, .connect = {}};
  }
  bool Received(const std::string& address, const std::string& command) {
    const auto sent = fleet.CommandsTo(address);
    return std::find(sent.begin(), sent.end(), command) != sent.end();
  }
};

// A script names its displays when it is accepted. A display deleted before its step gets
// nothing and blames nobody; the operator's selection is neither used nor changed.
TEST_F(ScriptRunnerTest, ADisplayDeletedBeforeItsStepIsGoneAndTheSelectionStays) {
  const std::string first = Loopback(1), second = Loopback(2), chosen = Loopback(3);
  for (const auto& address : {first, second, chosen}) fleet.Add({.address = address});
  Configure({first, second, chosen}, {{"Hall", {"[1]" + first, "[2]" + second}}});
  core->BuildTree();
  SelectItem(SingleItem(2));
  const Selection before = Selected();

  ScriptRunOptions options = Options();
  options.connect = [this](const std::vector<NamedTarget>&) {
    core->Lock()->RemoveDisplayRow(0);  // the operator deletes the first member meanwhile
  };
  const ScriptReport report = AcceptAndRun(*core, PowerOff({"group:Hall"}), options);

  ASSERT_EQ(report.results.size(), 2u);
  EXPECT_EQ(report.results[0].error, ScriptError::kGone);
  EXPECT_TRUE(report.results[1].ok);
  EXPECT_EQ(ExitCodeOf(report), script_exit::kOk);
  EXPECT_FALSE(Received(first, "ka 01 00\n"));
  EXPECT_TRUE(Received(second, "ka 01 00\n"));
  EXPECT_FALSE(Received(chosen, "ka 01 00\n"));
  EXPECT_EQ(Selected(), before);
  core->FlushHistory();
  const auto lines = Operations();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.ends_with(" Power Off"); }),
            1);
}

// A close while a script waits ends it at once: nothing more is sent and nothing is ok.
TEST_F(ScriptRunnerTest, AClosedConsoleEndsAWaitingScript) {
  const std::string display = Loopback(1);
  fleet.Add({.address = display});
  Configure({display});
  core->BuildTree();
  ScriptRunOptions options = Options();
  options.connect = [this](const std::vector<NamedTarget>&) { core->Stop(); };

  const auto started = Clock::now();
  const ScriptReport report = AcceptAndRun(*core, PowerOff({display}), options);

  EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
  ASSERT_EQ(report.results.size(), 1u);
  EXPECT_FALSE(report.results[0].ok);
  EXPECT_FALSE(Received(display, "ka 01 00\n"));
}

}  // namespace
}  // namespace tarnex
