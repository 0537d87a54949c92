#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "agent/agent_topics.h"
#include "agent/fleet_state.h"
#include "support/agent_rig.h"
#include "support/jobs_held.h"

namespace tarnex::testing {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

mqtt::Publication Request(std::string topic, std::string payload, std::string correlation,
                          std::string reply = "tarnex/site-a/reply/probe") {
  return {.topic = std::move(topic),
          .payload = std::move(payload),
          .qos = 1,
          .retain = false,
          .responseTopic = std::move(reply),
          .correlation = std::move(correlation),
          .expirySeconds = std::nullopt};
}

class SiteAgentTest : public ::testing::Test {
 protected:
  void Begin(int displays, AgentRig::Groups groups = {}, bool discovery = false) {
    rig = std::make_unique<AgentRig>(broker, displays, std::move(groups));
    rig->options.haDiscovery = discovery;
    ASSERT_TRUE(rig->Start()) << rig->error;
    ASSERT_TRUE(rig->Settle());
    ASSERT_TRUE(AgentRig::Eventually([&] { return rig->agent->Listening(); }));
    probe = std::make_unique<MqttProbe>(rig->OperatorLogin(),
                                        std::vector<std::string>{"tarnex/site-a/#"});
    ASSERT_TRUE(probe->WaitConnected());
    ASSERT_TRUE(
        probe->Eventually([&] { return !probe->LastLocked("tarnex/site-a/fleet").empty(); }));
  }
  // The reply document that carries `correlation`.
  std::optional<json> ReplyTo(const std::string& correlation,
                              std::chrono::milliseconds wait = 10s) {
    std::optional<json> found;
    probe->Eventually(
        [&] {
          for (const auto& message : probe->MessagesLocked()) {
            if (message.topic.starts_with("tarnex/site-a/reply/") &&
                message.correlation == correlation)
              found = json::parse(message.payload, nullptr, false);
          }
          return found.has_value();
        },
        wait);
    return found;
  }
  std::string StateOf(int display) {
    return probe->Last("tarnex/site-a/display/" + rig->addresses[static_cast<size_t>(display)] +
                       "/state");
  }

  MosquittoBroker broker;
  std::unique_ptr<AgentRig> rig;
  std::unique_ptr<MqttProbe> probe;
};

// Each of these is refused with a reason, and no display hears anything of it.
TEST_F(SiteAgentTest, MessagesItCannotTakeAreRefusedAndSendNothing) {
  Begin(2, {{"Hall", {0, 1}}});
  // What reaches a display besides the queries of a pass.
  const auto settings = [&] {
    size_t count = 0;
    for (const auto& entry : rig->fleet.Log()) count += entry.command.ends_with("ff\n") ? 0 : 1;
    return count;
  };
  const size_t before = settings();
  const std::string key = rig->addresses[0];
  const std::string deep = std::string(40, '[') + std::string(40, ']');
  struct Row {
    std::string what;
    mqtt::Publication message;
    bool replied;  // an error result on the reply topic; otherwise only the refusal event
  };
  std::vector<Row> rows = {
      {"bad power value", Request("tarnex/site-a/display/" + key + "/set/power", "off", "1"), true},
      {"unknown input", Request("tarnex/site-a/display/" + key + "/set/input", "hdmi9", "2"), true},
      {"control character",
       Request("tarnex/site-a/command",
               R"({"verb":"power","targets":["Hall\u0007"],"state":"off"})", "3"),
       true},
      {"wildcard target",
       Request("tarnex/site-a/command", R"({"verb":"power","targets":["display:#"],"state":"off"})",
               "3w"),
       true},
      {"oversize",
       Request("tarnex/site-a/command",
               R"({"verb":"message","targets":["group:Hall"],"text":")" + std::string(5000, 'x') +
                   "\"}",
               "4"),
       true},
      {"deep JSON", Request("tarnex/site-a/command", deep, "5"), true},
      {"unknown field",
       Request("tarnex/site-a/command",
               R"({"verb":"power","targets":["group:Hall"],"state":"off","x":1})", "6"),
       true},
      {"a file verb",
       Request("tarnex/site-a/command",
               R"({"verb":"backup","targets":["group:Hall"],"file":"/tmp/x"})", "7"),
       true},
      {"another site's reply topic",
       Request("tarnex/site-a/command",
               R"({"verb":"power","targets":["group:Hall"],"state":"off"})", "8",
               "tarnex/site-b/reply/probe"),
       false},
  };
  Row retained{"a retained command",
               Request("tarnex/site-a/command",
                       R"({"verb":"power","targets":["group:Hall"],"state":"off"})", "9"),
               true};
  retained.message.retain = true;
  rows.push_back(retained);
  for (const Row& row : rows) ASSERT_TRUE(probe->Publish(row.message)) << row.what;
  for (const Row& row : rows) {
    if (!row.replied) continue;
    const auto reply = ReplyTo(*row.message.correlation);
    ASSERT_TRUE(reply) << row.what;
    EXPECT_NE((*reply)["exit"], 0) << row.what;
  }
  ASSERT_TRUE(probe->Eventually([&] {
    size_t refused = 0;
    for (const auto& message : probe->MessagesLocked())
      refused += message.topic == "tarnex/site-a/event" &&
                 message.payload.find("\"refused\"") != std::string::npos;
    return refused >= rows.size() - 1;  // a retained command is refused as well, by its own words
  }));
  // Wildcards never reach the agent: the broker refuses such a topic from any publisher.
  EXPECT_FALSE(probe->Publish("tarnex/site-a/display/+/set/power", "OFF"));
  probe->Publish({.topic = "tarnex/site-a/command",
                  .payload = "{}",
                  .qos = 1,
                  .retain = true,
                  .responseTopic = std::nullopt,
                  .correlation = std::nullopt,
                  .expirySeconds = std::nullopt});
  ASSERT_TRUE(rig->agent->Intake().WaitIdle(5s));
  EXPECT_EQ(settings(), before);
  // Cleared, so no later subscriber is handed the retained command.
  probe->Publish("tarnex/site-a/command", "", true);
}

// A dashboard that subscribes late is handed the whole site at once, from the retained topics.
TEST_F(SiteAgentTest, ANewSubscriberGetsTheFleetAndEveryState) {
  Begin(3, {{"Hall", {2, 0}}});
  rig->agent->RunPass();
  ASSERT_TRUE(rig->agent->Publisher().WaitSettled(5s));
  MqttProbe late(rig->OperatorLogin(), {"tarnex/site-a/#"});
  ASSERT_TRUE(late.Eventually([&] {
    for (const std::string& address : rig->addresses) {
      const auto state =
          agent::StateFromJson(late.LastLocked("tarnex/site-a/display/" + address + "/state"));
      if (!state || state->power != "on" || state->link != "up" || state->readAt == 0) return false;
    }
    return late.LastLocked("tarnex/site-a/agent") == "online";
  }));
  const auto fleet = agent::FleetFromJson(late.Last("tarnex/site-a/fleet"));
  ASSERT_TRUE(fleet);
  ASSERT_EQ(fleet->displays.size(), 3u);
  ASSERT_EQ(fleet->groups.size(), 1u);
  EXPECT_EQ(fleet->groups[0].members,
            (std::vector<std::string>{rig->addresses[2], rig->addresses[0]}));
  // A full pass read the fan and the lamp as well.
  const auto state =
      agent::StateFromJson(late.Last("tarnex/site-a/display/" + rig->addresses[1] + "/state"));
  EXPECT_EQ(state->fan, "ok");
  EXPECT_EQ(state->lampHours1, 1200);
}

// A set message reaches its display once, its state follows, and a QoS 1 duplicate of the same
// request (same correlation) does not send again.
TEST_F(SiteAgentTest, ASetMessageReachesItsDisplayExactlyOnce) {
  Begin(2);
  const std::string topic = "tarnex/site-a/display/" + rig->addresses[1] + "/set/power";
  ASSERT_TRUE(probe->Publish(Request(topic, "OFF", "once")));
  ASSERT_TRUE(probe->Publish(Request(topic, "OFF", "once")));
  const auto reply = ReplyTo("once");
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)["exit"], 0);
  ASSERT_TRUE(rig->agent->Intake().WaitIdle(5s));
  // A power command goes twice to a display, as the console's own group sends do.
  EXPECT_EQ(rig->CommandsTo(1, "ka 01 00\n"), 2u);
  EXPECT_EQ(rig->CommandsTo(0, "ka 01 00\n"), 0u);
  EXPECT_TRUE(probe->Eventually([&] {
    const auto state = agent::StateFromJson(
        probe->LastLocked("tarnex/site-a/display/" + rig->addresses[1] + "/state"));
    return state && state->power == "off";
  }));
  // Retained sets are never run: one would replay at every reconnect.
  ASSERT_TRUE(probe->Publish(topic, "ON", true));
  probe->Publish(topic, "", true);
  ASSERT_TRUE(rig->agent->Intake().WaitIdle(5s));
  EXPECT_EQ(rig->CommandsTo(1, "ka 01 01\n"), 0u);
}

// A group request is one group send: every member, history lines in member order, one result
// per member in that order.
TEST_F(SiteAgentTest, AGroupRequestIsOneGroupSendInMemberOrder) {
  Begin(3, {{"Hall", {2, 0, 1}}});
  ASSERT_TRUE(probe->Publish(Request(
      "tarnex/site-a/command", R"({"verb":"power","targets":["group:Hall"],"state":"off"})", "g")));
  const auto reply = ReplyTo("g");
  ASSERT_TRUE(reply);
  ASSERT_EQ((*reply)["results"].size(), 3u);
  EXPECT_EQ((*reply)["results"][0]["display"]["key"], rig->addresses[2]);
  EXPECT_EQ((*reply)["results"][2]["display"]["key"], rig->addresses[1]);
  std::vector<std::string> sent;
  for (const std::string& line : rig->Operations())
    if (line.ends_with("Power Off")) sent.push_back(line);
  EXPECT_EQ(sent, (std::vector<std::string>{rig->addresses[2] + " Power Off",
                                            rig->addresses[0] + " Power Off",
                                            rig->addresses[1] + " Power Off"}));
  ASSERT_TRUE(probe->Eventually([&] {
    size_t history = 0;
    for (const auto& message : probe->MessagesLocked())
      history += message.topic == "tarnex/site-a/event" &&
                 message.payload.find("Power Off") != std::string::npos;
    return history == 3;
  }));
}

// The request names its display when it arrives; a display deleted while the request waits
// for its turn is skipped, and nothing reaches whichever display took its row.
TEST_F(SiteAgentTest, ADisplayDeletedWhileItsRequestWaitsGetsNothing) {
  Begin(2);
  CConsoleCore& core = rig->agent->Core();
  DisplayId first = kNoDisplay;
  {
    auto state = core.Lock();
    first = state->IdAt(0);
  }
  // Every job waits until the test lets go.
  JobsHeld held(core.Jobs());
  ASSERT_TRUE(probe->Publish(
      Request("tarnex/site-a/display/" + rig->addresses[0] + "/set/power", "OFF", "d")));
  std::this_thread::sleep_for(300ms);
  {
    auto state = core.Lock();
    state->RemoveDisplayRow(state->RowOf(first));
  }
  held.Release();
  const auto reply = ReplyTo("d");
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)["results"][0]["error"]["code"], "gone");
  EXPECT_EQ(rig->CommandsTo(0, "ka 01 00\n"), 0u);
  EXPECT_EQ(rig->CommandsTo(1, "ka 01 00\n"), 0u);
  // The display's retained state goes with it.
  EXPECT_TRUE(probe->Eventually([&] {
    return probe->LastLocked("tarnex/site-a/display/" + rig->addresses[0] + "/state").empty();
  }));
}

// A pass names its displays when it starts: one deleted while the pass waits for its turn is
// neither asked nor published again, and a close ends a waiting pass at once.
TEST_F(SiteAgentTest, AStatePassSkipsADeletedDisplayAndEndsAtTheClose) {
  Begin(2);
  CConsoleCore& core = rig->agent->Core();
  const std::string gone = rig->addresses[0];
  {
    JobsHeld held(core.Jobs());
    std::thread pass([&] { rig->agent->RunPass(); });
    std::this_thread::sleep_for(200ms);
    {
      auto state = core.Lock();
      state->RemoveDisplayRow(0);
    }
    held.Release();
    pass.join();
  }
  EXPECT_EQ(rig->CommandsTo(0, "ka 01 ff\n"), 0u);
  EXPECT_EQ(rig->agent->Book().Get(gone).readAt, 0);
  EXPECT_NE(rig->agent->Book().Get(rig->addresses[1]).readAt, 0);
  EXPECT_TRUE(probe->Eventually(
      [&] { return probe->LastLocked("tarnex/site-a/display/" + gone + "/state").empty(); }));

  JobsHeld held(core.Jobs());
  std::atomic<bool> ended{false};
  std::thread pass([&] {
    rig->agent->RunPass();
    ended = true;
  });
  std::this_thread::sleep_for(200ms);
  std::thread close([&] { rig->agent->Stop(); });
  EXPECT_TRUE(AgentRig::Eventually([&] { return ended.load(); }, 1s));
  held.Release();
  close.join();
  pass.join();
}

// The broker's ACL is the gate: another site's user cannot reach this site's displays.
TEST_F(SiteAgentTest, AnotherSitesUserPublishingHereSendsNothing) {
  Begin(1);
  MqttProbe other({.host = broker.host(),
                   .port = broker.port(),
                   .user = "other",
                   .password = broker.password("other")});
  ASSERT_TRUE(other.WaitConnected());
  other.Publish("tarnex/site-a/display/" + rig->addresses[0] + "/set/power", "OFF");
  other.Publish(Request(
      "tarnex/site-a/command",
      R"({"verb":"power","targets":["display:)" + rig->addresses[0] + R"("],"state":"off"})", "o"));
  std::this_thread::sleep_for(500ms);
  ASSERT_TRUE(rig->agent->Intake().WaitIdle(5s));
  EXPECT_EQ(rig->CommandsTo(0, "ka 01 00\n"), 0u);
}

// A broker whose certificate the agent cannot trust is never talked to; the displays are still
// connected and supervised, and the history written.
TEST_F(SiteAgentTest, WithTheWrongCaThereIsNoConnectionAndTheFleetIsStillSupervised) {
  rig = std::make_unique<AgentRig>(broker, 1);
  rig->options.broker.port = broker.tlsPort();
  rig->options.broker.caFile = broker.wrongCaFile();
  rig->options.supervision = 200ms;
  ASSERT_TRUE(rig->Start()) << rig->error;
  ASSERT_TRUE(rig->Settle());
  MqttProbe watcher(rig->OperatorLogin(), {"tarnex/site-a/#"});
  ASSERT_TRUE(watcher.WaitConnected());
  const auto wrote = [&](const std::string& text) {
    return AgentRig::Eventually([&] {
      for (const std::string& line : rig->Operations())
        if (line.find(text) != std::string::npos) return true;
      return false;
    });
  };
  rig->fleet.Find(rig->addresses[0])->SetRefuse(true);
  rig->agent->RunPass();
  EXPECT_TRUE(wrote("Monitor is not communicated with PC"));
  rig->fleet.Find(rig->addresses[0])->SetRefuse(false);
  EXPECT_TRUE(wrote("Auto Connection is Success"));
  EXPECT_EQ(watcher.Count("tarnex/site-a/agent"), 0u);
  EXPECT_NE(broker.Log().find("error"), std::string::npos);
}

// A display found at a new address moves to a new key: what the broker kept under the old one
// (its state and its discovery configs) is cleared before anything is published under the new.
TEST_F(SiteAgentTest, ANewAddressClearsTheOldKeysRetainedTopicsFirst) {
  Begin(2, {}, true);
  MqttProbe home({.host = broker.host(),
                  .port = broker.port(),
                  .user = "agent",
                  .password = broker.password("agent")},
                 {"homeassistant/#", "tarnex/site-a/display/#"});
  const std::string old = rig->addresses[0];
  const std::string moved = Loopback(40);
  const std::string oldConfig = "homeassistant/switch/tarnex_site-a_" + old + "/power/config";
  std::string oldId = oldConfig;
  std::replace(oldId.begin(), oldId.end(), '.', '_');
  ASSERT_TRUE(home.Eventually([&] { return !home.LastLocked(oldId).empty(); }));
  EXPECT_NE(home.Last(oldId).find("\"unique_id\":\"tarnex_site-a_"), std::string::npos);
  {
    auto state = rig->agent->Core().Lock();
    rig->agent->Core().SetDisplayAddress(0, moved);
  }
  rig->agent->Publisher().Wake();
  const std::string oldState = "tarnex/site-a/display/" + old + "/state";
  const std::string newState = "tarnex/site-a/display/" + moved + "/state";
  ASSERT_TRUE(home.Eventually([&] { return home.CountLocked(newState) > 0; }));
  const auto messages = home.Messages();
  size_t cleared = messages.size();
  size_t configCleared = messages.size();
  size_t published = messages.size();
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].topic == oldState && messages[i].payload.empty())
      cleared = std::min(cleared, i);
    if (messages[i].topic == oldId && messages[i].payload.empty())
      configCleared = std::min(configCleared, i);
    if (messages[i].topic == newState) published = std::min(published, i);
  }
  EXPECT_LT(cleared, published);
  EXPECT_LT(configCleared, published);
}

}  // namespace
}  // namespace tarnex::testing
