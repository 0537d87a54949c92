#include <gtest/gtest.h>

#include "agent/agent_topics.h"
#include "agent/fleet_state.h"
#include "agent/ha_discovery.h"

namespace tarnex::agent {
namespace {

// Only the site's own set and command topics are taken; anything wider, narrower or with an
// empty level is not this agent's.
TEST(AgentTopics, OnlyTheSitesExactPatternsAreTaken) {
  const SiteTopics topics("site-a");
  const auto set = ParseIncoming(topics, "tarnex/site-a/display/10.0.0.5/set/power");
  ASSERT_TRUE(set);
  EXPECT_EQ(set->key, "10.0.0.5");
  EXPECT_EQ(set->setting, "power");
  EXPECT_TRUE(ParseIncoming(topics, "tarnex/site-a/display/set-07/set/mute"));
  EXPECT_TRUE(ParseIncoming(topics, "tarnex/site-a/command"));
  for (const char* other :
       {"tarnex/site-b/command", "tarnex/site-a/command/x", "tarnex/site-a//command",
        "tarnex/site-a/display/10.0.0.5/set/volume", "tarnex/site-a/display/10.0.0.256/set/power",
        "tarnex/site-a/display/set-7/set/power", "tarnex/site-a/display/10.0.0.5/state",
        "tarnex/site-a/display/10.0.0.5/set/power/", "tarnex/site-a"}) {
    EXPECT_FALSE(ParseIncoming(topics, other)) << other;
  }
  EXPECT_TRUE(topics.IsReplyTopic("tarnex/site-a/reply/console-1"));
  for (const char* bad : {"tarnex/site-a/reply/", "tarnex/site-b/reply/x", "tarnex/site-a/reply/#",
                          "tarnex/site-a/reply/a b", "tarnex/site-a/event"}) {
    EXPECT_FALSE(topics.IsReplyTopic(bad)) << bad;
  }
  EXPECT_TRUE(IsSiteName("Hall_2-east"));
  for (const char* bad : {"", "a/b", "a+", "#", "with space", "012345678901234567890123456789012"})
    EXPECT_FALSE(IsSiteName(bad)) << bad;
}

// A set's payload is one of a closed list of words; a command is the command line's request,
// bounded in size and depth, with no verb that reads or writes a file.
TEST(AgentPayloads, SetsAndCommandsAreCheckedAsTheCommandLineChecksThem) {
  const auto off = SetRequest("10.0.0.5", "power", "OFF");
  ASSERT_TRUE(off.request);
  EXPECT_EQ(off.request->verb, ScriptRequest::Verb::kPower);
  EXPECT_FALSE(off.request->on);
  EXPECT_EQ(off.request->targets, std::vector<std::string>{"display:10.0.0.5"});
  EXPECT_EQ(SetRequest("set-07", "input", "hdmi2").request->targets,
            std::vector<std::string>{"set:7"});
  for (const auto& [setting, payload] : std::vector<std::pair<const char*, const char*>>{
           {"power", "off"}, {"power", "ON "}, {"mute", "1"}, {"input", "hdmi9"}, {"input", ""}}) {
    EXPECT_FALSE(SetRequest("10.0.0.5", setting, payload).request) << setting << " " << payload;
  }
  EXPECT_TRUE(CommandRequest(R"({"verb":"status","targets":["group:Hall"]})").request);
  const std::string deep = std::string(9, '[') + std::string(9, ']');
  for (const std::string& bad :
       {std::string(R"({"verb":"backup","targets":["a"],"file":"/etc/x"})"), deep,
        R"({"verb":"status","targets":["a"],"text":")" + std::string(4100, 'x') + "\"}",
        std::string(R"({"verb":"status","targets":["a"],"extra":true})")}) {
    EXPECT_FALSE(CommandRequest(bad).request) << bad.substr(0, 60);
  }
  // Brackets inside strings are text, not depth.
  EXPECT_TRUE(JsonDepthWithin(R"({"a":"[[[[[[[[[[[[[["})", 2));
}

// What the agent publishes reads back the same; a stranger's document that is not one is
// refused whole.
TEST(AgentDocuments, StatesAndFleetsReadBackAndStrangersAreRefused) {
  DisplayState state{.link = "up",
                     .power = "on",
                     .input = "hdmi1",
                     .mute = "off",
                     .fan = "ok",
                     .lampHours1 = 1200,
                     .lampHours2 = std::nullopt,
                     .readAt = 1796980000};
  EXPECT_EQ(StateFromJson(StateJson(state)), state);
  for (const char* bad : {"", "[]", R"({"power":"on"})", R"({"link":5})",
                          R"({"link":"up","lamp_hours":[1]})", R"({"link":"up","read_at":"x"})",
                          R"({"link":"up","power":"maybe"})", R"({"link":"sideways"})"}) {
    EXPECT_FALSE(StateFromJson(bad)) << bad;
  }
  FleetView fleet;
  fleet.displays.push_back(
      {.key = "10.0.0.5", .label = "Lobby", .kind = "native", .mac = "0A0B0C0D0E0F"});
  fleet.displays.push_back({.key = "10.0.0.6", .label = "", .kind = "pjlink", .mac = ""});
  fleet.groups.push_back({.name = "Hall", .members = {"10.0.0.6", "10.0.0.5"}});
  EXPECT_EQ(FleetFromJson(FleetJson(fleet)), fleet);
  EXPECT_FALSE(FleetFromJson(R"({"displays":[{"key":"not an address"}],"groups":[]})"));
  EXPECT_FALSE(FleetFromJson(R"({"displays":[],"groups":[{"name":"x","members":["../x"]}]})"));
}

// Home Assistant keeps a display's entities under its MAC when known, its address otherwise;
// a removed display's configs are the same topics, emptied.
TEST(AgentDiscovery, ConfigsAreKeyedByMacOrAddressAndClearedByTopic) {
  const SiteTopics topics("site-a");
  FleetView::Display display{.key = "10.0.0.5", .label = "Lobby", .kind = "native", .mac = ""};
  EXPECT_EQ(DiscoveryId(topics, display), "tarnex_site-a_10_0_0_5");
  display.mac = "0A0B0C0D0E0F";
  EXPECT_EQ(DiscoveryId(topics, display), "tarnex_site-a_0A0B0C0D0E0F");
  const auto configs = DiscoveryConfigs(topics, display);
  const auto clears = DiscoveryClears(topics, display);
  ASSERT_EQ(configs.size(), 4u);
  ASSERT_EQ(clears.size(), configs.size());
  for (size_t i = 0; i < configs.size(); ++i) {
    EXPECT_EQ(configs[i].topic, clears[i].topic);
    EXPECT_TRUE(clears[i].payload.empty());
    EXPECT_NE(configs[i].payload.find("\"availability_mode\":\"all\""), std::string::npos);
  }
  EXPECT_NE(configs[0].payload.find("tarnex/site-a/display/10.0.0.5/set/power"), std::string::npos);
}

}  // namespace
}  // namespace tarnex::agent
