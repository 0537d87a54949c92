#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

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
  EXPECT_EQ(ExitCodeOf(report), script_exit::kOwnerBusy);
  EXPECT_FALSE(Received(display, "ka 01 00\n"));
}

// A restore keeps to the script's time-out, not to the minutes a restore from the window may
// take: a slow display ends it at the deadline, reported as not done.
TEST_F(ScriptRunnerTest, ARestoreEndsAtTheScriptsTimeOut) {
  const std::string display = Loopback(1);
  sim::SimDisplay& sim = fleet.Add({.address = display});
  Configure({display});
  core->BuildTree();
  sim.SetDelayMs(100);  // sixty settings take six seconds
  ScriptRequest request;
  request.verb = ScriptRequest::Verb::kRestore;
  request.targets = {display};
  request.values.emplace();
  request.values->fill("01");
  ScriptRunOptions options = Options();
  options.deadline = Clock::now() + std::chrono::seconds(2);

  const ScriptReport report = AcceptAndRun(*core, request, options);

  EXPECT_LT(Clock::now() - options.deadline, std::chrono::seconds(1));
  EXPECT_EQ(ExitCodeOf(report), script_exit::kTimedOut);
  ASSERT_EQ(report.results.size(), 1u);
  EXPECT_EQ(report.results[0].error, ScriptError::kBusy);
}

// A direct run on the serial line restores the set IDs it names, though nothing checked them.
TEST_F(ScriptRunnerTest, ADirectSerialRestoreAsksTheSetIdsItNames) {
  testing::SimSerialChannel line{{"05"}};
  ConfigureSerialGroup({"[1]PJTR 5"});
  core->SetSerialChannel(&line);
  ScriptRequest request;
  request.verb = ScriptRequest::Verb::kRestore;
  request.targets = {"set:5"};
  request.values.emplace();
  request.values->fill("01");
  ScriptRunOptions options = Options();
  options.linksKnown = false;

  const ScriptReport report = AcceptAndRun(*core, request, options);

  ASSERT_EQ(report.results.size(), 1u);
  EXPECT_NE(report.results[0].error, ScriptError::kNoReply) << report.results[0].message;
  ASSERT_FALSE(line.written_.empty());
  EXPECT_EQ(line.written_.front().substr(3, 2), "05");
  core->SetSerialChannel(nullptr);
}

// A script awaiting power holds its display one exchange at a time, never for its whole wait:
// the operator's page reads it between the polls.
TEST_F(ScriptRunnerTest, APageReadWaitsAtMostOneExchangeWhileAScriptAwaitsPower) {
  const std::string display = Loopback(1);
  sim::SimDisplay& sim = fleet.Add({.address = display});
  Configure({display});
  core->BuildTree();
  const DisplayId id = core->Lock()->IdAt(0);
  ScriptRequest request = PowerOff({display});
  request.wait = true;
  ScriptRunOptions options = Options();
  options.deadline = Clock::now() + std::chrono::seconds(6);
  ScriptReport report;
  std::thread script([&] { report = AcceptAndRun(*core, request, options); });
  ASSERT_TRUE(Eventually([&] { return Received(display, "ka 01 00\n"); }));

  Clock::duration longest{};
  for (int read = 0; read < 16; ++read) {
    // It reports on again after the power off, as a display that will not go off does.
    sim.SetValue("ka", "01");
    const auto asked = Clock::now();
    std::promise<void> ran;
    core->Jobs().Post(JobKeys::Display(id), [&] {
      longest = std::max(longest, Clock::now() - asked);
      ran.set_value();
    });
    ASSERT_EQ(ran.get_future().wait_for(std::chrono::seconds(3)), std::future_status::ready);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  script.join();

  EXPECT_LT(longest, std::chrono::milliseconds(500));
  const auto sent = fleet.CommandsTo(display);
  EXPECT_GE(std::count(sent.begin(), sent.end(), "ka 01 ff\n"), 2);
  EXPECT_EQ(ExitCodeOf(report), script_exit::kTimedOut);
}

}  // namespace
}  // namespace tarnex
