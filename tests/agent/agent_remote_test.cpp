#include "agent/agent_remote.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "support/agent_player.h"
#include "support/mosquitto_broker.h"

namespace tarnex::agent {
namespace {

using namespace std::chrono_literals;
using testing::WaitUntil;
using Outcome = RemoteReply::Outcome;

const std::string kA = "127.0.0.21";
const std::string kB = "127.0.0.22";

FleetView TwoDisplays() {
  FleetView fleet;
  fleet.displays = {{.key = kA, .label = "Lobby", .kind = "native", .mac = "0011223344aa"},
                    {.key = kB, .label = "", .kind = "pjlink", .mac = ""}};
  fleet.groups = {{.name = "Hall", .members = {kA, kB}}};
  return fleet;
}

DisplayState StateOf(const char* link, const char* power) {
  DisplayState state;
  state.link = link;
  state.power = power;
  return state;
}

ScriptRequest PowerRequest(const std::string& target, int timeoutSeconds = 30) {
  ScriptRequest request;
  request.verb = ScriptRequest::Verb::kPower;
  request.on = true;
  request.targets = {target};
  request.timeoutSeconds = timeoutSeconds;
  return request;
}

// Every answer a request got, in order: a second one for the same request is a fault.
class Replies {
 public:
  AgentRemote::ReplyCallback Callback(int id) {
    return [this, id](RemoteReply reply) {
      std::lock_guard lock(m_mutex);
      m_got.emplace_back(id, std::move(reply));
    };
  }
  size_t Count() {
    std::lock_guard lock(m_mutex);
    return m_got.size();
  }
  std::vector<std::pair<int, RemoteReply>> Got() {
    std::lock_guard lock(m_mutex);
    return m_got;
  }

 private:
  std::mutex m_mutex;
  std::vector<std::pair<int, RemoteReply>> m_got;
};

class AgentRemoteTest : public ::testing::Test {
 protected:
  RemoteOptions Options(bool tls = false) {
    RemoteOptions options;
    options.host = broker.host();
    options.port = tls ? broker.tlsPort() : broker.port();
    options.caFile = tls ? broker.caFile() : std::string();
    options.site = "site-a";
    options.user = "operator";
    options.password = broker.password("operator");
    return options;
  }
  std::unique_ptr<AgentRemote> Start(RemoteOptions options) {
    auto remote = std::make_unique<AgentRemote>(std::move(options), [this] { ++notices; });
    std::string error;
    EXPECT_TRUE(remote->Start(&error)) << error;
    return remote;
  }
  std::unique_ptr<AgentRemote> StartReachable(RemoteOptions options) {
    player.Presence("online");
    auto remote = Start(std::move(options));
    EXPECT_TRUE(WaitUntil([&] { return remote->Snapshot().Reachable(); }));
    return remote;
  }

  testing::MosquittoBroker broker;
  testing::AgentPlayer player{broker};
  std::atomic<int> notices{0};
  Replies replies;
};

TEST_F(AgentRemoteTest, SnapshotComesFromTheRetainedFleetAndStates) {
  player.Presence("online");
  player.Fleet(TwoDisplays());
  player.State(kA, StateOf("up", "on"));
  player.State(kB, StateOf("auth_failed", ""));
  auto remote = Start(Options());
  ASSERT_TRUE(WaitUntil([&] {
    const RemoteSnapshot snapshot = remote->Snapshot();
    return snapshot.Reachable() && snapshot.fleet && snapshot.states.size() == 2;
  }));
  const RemoteSnapshot snapshot = remote->Snapshot();
  EXPECT_EQ(*snapshot.fleet, TwoDisplays());
  EXPECT_EQ(snapshot.states.at(kA), StateOf("up", "on"));
  EXPECT_EQ(snapshot.states.at(kB).link, "auth_failed");
  EXPECT_GT(notices.load(), 0);
}

TEST_F(AgentRemoteTest, OverTlsWithTheBrokersCa) {
  auto remote = StartReachable(Options(true));
  EXPECT_TRUE(remote->Snapshot().connected);
}

// What the agent's topics may carry that is no fleet, state or presence: each is ignored and
// leaves the snapshot as it was. A state cleared by an empty retained message goes.
TEST_F(AgentRemoteTest, WhatIsNotTheAgentsIsIgnored) {
  player.Fleet(TwoDisplays());
  player.State(kA, StateOf("up", "on"));
  auto remote = StartReachable(Options());
  ASSERT_TRUE(WaitUntil([&] { return remote->Snapshot().states.size() == 1; }));
  const auto& topics = player.Topics();
  const struct {
    std::string topic;
    std::string payload;
  } kIgnored[] = {
      {topics.Fleet(), "{not json"},
      {topics.Fleet(), R"({"displays":[{"key":"not an address","label":"x"}],"groups":[]})"},
      {topics.Fleet(), "[]"},
      {topics.State(kA), R"({"link":"up","power":"maybe"})"},
      {topics.State(kA), std::string(8192, '{')},
      {topics.State("set-1"), R"({"link":"up"})"},
      {"tarnex/site-a/display/host.example/state", R"({"link":"up"})"},
      {topics.Agent(), "perhaps"},
  };
  for (const auto& message : kIgnored) player.Publish(message.topic, message.payload);
  // A last message that does count: everything before it has been dealt with.
  player.State(kB, StateOf("down", ""));
  ASSERT_TRUE(WaitUntil([&] { return remote->Snapshot().states.size() == 2; }));
  RemoteSnapshot snapshot = remote->Snapshot();
  EXPECT_TRUE(snapshot.Reachable());
  EXPECT_EQ(*snapshot.fleet, TwoDisplays());
  EXPECT_EQ(snapshot.states.at(kA), StateOf("up", "on"));

  player.Publish(topics.State(kA), "");
  ASSERT_TRUE(WaitUntil([&] { return remote->Snapshot().states.size() == 1; }));
  EXPECT_EQ(remote->Snapshot().states.count(kA), 0u);
}

// A fleet without a display forgets its state: the tree would otherwise show a ghost.
TEST_F(AgentRemoteTest, ANewFleetDropsTheStatesOfDisplaysThatLeft) {
  player.Fleet(TwoDisplays());
  player.State(kA, StateOf("up", "on"));
  player.State(kB, StateOf("up", "off"));
  auto remote = StartReachable(Options());
  ASSERT_TRUE(WaitUntil([&] { return remote->Snapshot().states.size() == 2; }));
  FleetView smaller = TwoDisplays();
  smaller.displays.pop_back();
  smaller.groups.clear();
  player.Fleet(smaller);
  ASSERT_TRUE(WaitUntil([&] { return remote->Snapshot().fleet == smaller; }));
  EXPECT_EQ(remote->Snapshot().states.count(kB), 0u);
}

// The agent answers on the response topic it was given with the correlation it was given; an
// answer carrying any other correlation is somebody else's and changes nothing.
TEST_F(AgentRemoteTest, TheAnswerIsMatchedByItsCorrelation) {
  auto remote = StartReachable(Options());
  remote->Send(PowerRequest("display:" + kA), replies.Callback(1));
  const auto command = player.NextCommand();
  ASSERT_TRUE(command);
  EXPECT_EQ(command->topic, "tarnex/site-a/command");
  EXPECT_EQ(command->responseTopic, remote->ReplyTopic());
  EXPECT_TRUE(player.Topics().IsReplyTopic(remote->ReplyTopic()));
  ASSERT_TRUE(command->correlation);
  ASSERT_TRUE(command->expirySeconds);
  EXPECT_LE(*command->expirySeconds, 30u);
  const ParsedRequest sent = RequestFromJson(command->payload);
  ASSERT_TRUE(sent.request) << sent.error;
  EXPECT_EQ(sent.request->targets, std::vector<std::string>{"display:" + kA});
  EXPECT_TRUE(sent.request->on);

  ScriptReport bogus;
  bogus.results = {testing::AnsweredResult(kA, false, "not this one")};
  player.Answer(*command, bogus, *command->correlation + "x");
  player.Answer(*command, bogus, std::string());
  ScriptReport done;
  done.results = {testing::AnsweredResult(kA, true)};
  player.Answer(*command, done);
  ASSERT_TRUE(WaitUntil([&] { return replies.Count() == 1; }));
  // A second answer to the same request finds nothing waiting.
  player.Answer(*command, bogus);
  remote->Send(PowerRequest("display:" + kB), replies.Callback(2));
  ASSERT_TRUE(player.NextCommand());
  remote->Stop();

  const auto got = replies.Got();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].first, 1);
  EXPECT_TRUE(got[0].second.Ok());
  ASSERT_EQ(got[0].second.results.size(), 1u);
  EXPECT_EQ(got[0].second.results[0].key, kA);
  EXPECT_EQ(got[1].first, 2);
  EXPECT_EQ(got[1].second.outcome, Outcome::kUnreachable);
}

TEST_F(AgentRemoteTest, AFailedRunAndAGarbledAnswerSayWhy) {
  auto remote = StartReachable(Options());
  remote->Send(PowerRequest("display:" + kA), replies.Callback(1));
  auto command = player.NextCommand();
  ASSERT_TRUE(command);
  ScriptReport failed;
  failed.results = {testing::AnsweredResult(kA, false, "No reply from the display")};
  player.Answer(*command, failed);
  remote->Send(PowerRequest("display:" + kA), replies.Callback(2));
  command = player.NextCommand();
  ASSERT_TRUE(command);
  player.AnswerRaw(*command, R"({"schema":1,"results":"all fine","exit":0})");
  ASSERT_TRUE(WaitUntil([&] { return replies.Count() == 2; }));
  const auto got = replies.Got();
  EXPECT_EQ(got[0].second.outcome, Outcome::kAnswered);
  EXPECT_EQ(got[0].second.exit, script_exit::kFailed);
  EXPECT_EQ(got[0].second.message, "No reply from the display");
  EXPECT_EQ(got[1].second.outcome, Outcome::kGarbled);
  EXPECT_EQ(got[1].second.message, kAgentGarbled);
}

TEST_F(AgentRemoteTest, NoAnswerEndsAtTheDeadline) {
  RemoteOptions options = Options();
  options.replyGrace = 200ms;
  auto remote = StartReachable(std::move(options));
  remote->Send(PowerRequest("display:" + kA, 1), replies.Callback(1));
  ASSERT_TRUE(player.NextCommand());
  ASSERT_TRUE(WaitUntil([&] { return replies.Count() == 1; }));
  EXPECT_EQ(replies.Got()[0].second.outcome, Outcome::kTimedOut);
  EXPECT_EQ(remote->PendingCount(), 0u);
}

// Requests beyond the bound are refused at once; those waiting are answered when the remote
// stops, each exactly once.
TEST_F(AgentRemoteTest, PendingRequestsAreBounded) {
  RemoteOptions options = Options();
  options.maxPending = 2;
  auto remote = StartReachable(std::move(options));
  for (int id = 1; id <= 3; ++id) remote->Send(PowerRequest("display:" + kA), replies.Callback(id));
  ASSERT_EQ(replies.Count(), 1u);
  EXPECT_EQ(replies.Got()[0].first, 3);
  EXPECT_EQ(replies.Got()[0].second.outcome, Outcome::kRefused);
  remote->Stop();
  remote->Stop();
  const auto got = replies.Got();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1].second.outcome, Outcome::kUnreachable);
  EXPECT_EQ(got[2].second.outcome, Outcome::kUnreachable);
}

// The agent saying "offline" (its last will) and the broker going both make it unreachable:
// what waited is answered at once, and what is sent then is refused at once.
TEST_F(AgentRemoteTest, UnreachableWhenTheAgentOrTheBrokerGoes) {
  auto remote = StartReachable(Options());
  remote->Send(PowerRequest("display:" + kA), replies.Callback(1));
  ASSERT_TRUE(player.NextCommand());
  player.Presence("offline");
  ASSERT_TRUE(WaitUntil([&] { return replies.Count() == 1; }));
  EXPECT_FALSE(remote->Snapshot().Reachable());
  EXPECT_TRUE(remote->Snapshot().connected);
  remote->Send(PowerRequest("display:" + kA), replies.Callback(2));
  EXPECT_EQ(replies.Count(), 2u);

  player.Presence("online");
  ASSERT_TRUE(WaitUntil([&] { return remote->Snapshot().Reachable(); }));
  remote->Send(PowerRequest("display:" + kA), replies.Callback(3));
  ASSERT_TRUE(player.NextCommand());
  broker.Stop();
  ASSERT_TRUE(WaitUntil([&] { return !remote->Snapshot().connected; }));
  ASSERT_TRUE(WaitUntil([&] { return replies.Count() == 3; }));
  remote->Send(PowerRequest("display:" + kA), replies.Callback(4));
  const auto got = replies.Got();
  ASSERT_EQ(got.size(), 4u);
  for (const auto& [id, reply] : got) {
    EXPECT_EQ(reply.outcome, Outcome::kUnreachable) << id;
    EXPECT_EQ(reply.message, kAgentUnreachable) << id;
  }
}

TEST(AgentReplyTest, OnlyTheCommandLinesDocumentIsAnAnswer) {
  const struct {
    const char* name;
    std::string text;
    bool answer;
  } kCases[] = {
      {"done", R"({"schema":1,"request":{},"results":[],"summary":{},"exit":0})", true},
      {"run-wide error",
       R"({"schema":1,"results":[],"exit":10,"error":{"code":"not_found","message":"no such"}})",
       true},
      {"no schema", R"({"results":[],"exit":0})", false},
      {"other schema", R"({"schema":2,"results":[],"exit":0})", false},
      {"exit a word", R"({"schema":1,"results":[],"exit":"0"})", false},
      {"exit out of range", R"({"schema":1,"results":[],"exit":-1})", false},
      {"results an object", R"({"schema":1,"results":{},"exit":0})", false},
      {"a result of no shape", R"({"schema":1,"results":[7],"exit":0})", false},
      {"error without message", R"({"schema":1,"results":[],"exit":1,"error":{"code":"x"}})",
       false},
      {"nested too deep", R"({"schema":1,"results":[],"exit":0,"x":[[[[[[[[[[1]]]]]]]]]]})", false},
      {"not json", "exit 0", false},
      {"too large",
       R"({"schema":1,"results":[],"exit":0,"pad":")" + std::string(2 << 20, 'a') + "\"}", false},
  };
  for (const auto& item : kCases) {
    EXPECT_EQ(ReplyFromJson(item.text).has_value(), item.answer) << item.name;
  }
  const auto error = ReplyFromJson(kCases[1].text);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->errorCode, "not_found");
  EXPECT_EQ(error->message, "no such");
  EXPECT_FALSE(error->Ok());
}

}  // namespace
}  // namespace tarnex::agent
