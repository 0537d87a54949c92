#include "agent/ha_discovery.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace tarnex::agent {
namespace {

using nlohmann::json;

constexpr const char* kPrefix = "homeassistant/";
constexpr const char* kInputs[] = {"av",   "component1", "component2", "rgb1",
                                   "rgb2", "hdmi1",      "hdmi2",      "hdmi3"};

struct Entity {
  const char* component;
  const char* object;
};
constexpr Entity kEntities[] = {
    {"switch", "power"}, {"select", "input"}, {"sensor", "lamp"}, {"sensor", "fan"}};

std::string TopicOf(const Entity& entity, const std::string& id) {
  return std::string(kPrefix) + entity.component + "/" + id + "/" + entity.object + "/config";
}

json Availability(const SiteTopics& topics, const std::string& key) {
  return json::array(
      {{{"topic", topics.Agent()},
        {"payload_available", "online"},
        {"payload_not_available", "offline"}},
       {{"topic", topics.State(key)},
        {"value_template", "{{ 'online' if value_json.link == 'up' else 'offline' }}"},
        {"payload_available", "online"},
        {"payload_not_available", "offline"}}});
}

json ConfigOf(const SiteTopics& topics, const FleetView::Display& display, const Entity& entity,
              const std::string& id) {
  const std::string name = display.label.empty() ? display.key : display.label;
  json config = {{"unique_id", id + "_" + entity.object},
                 {"object_id", id + "_" + entity.object},
                 {"name", entity.object},
                 {"state_topic", topics.State(display.key)},
                 {"availability", Availability(topics, display.key)},
                 {"availability_mode", "all"},
                 {"device", {{"identifiers", json::array({id})}, {"name", name}}}};
  const std::string object = entity.object;
  if (object == "power") {
    config["command_topic"] = topics.Set(display.key, "power");
    config["payload_on"] = "ON";
    config["payload_off"] = "OFF";
    config["value_template"] = "{{ 'ON' if value_json.power == 'on' else 'OFF' }}";
  } else if (object == "input") {
    config["command_topic"] = topics.Set(display.key, "input");
    config["options"] = json(std::vector<std::string>(std::begin(kInputs), std::end(kInputs)));
    config["value_template"] = "{{ value_json.input }}";
  } else if (object == "lamp") {
    config["unit_of_measurement"] = "h";
    config["value_template"] = "{{ value_json.lamp_hours[0] }}";
  } else {
    config["value_template"] = "{{ value_json.fan }}";
  }
  return config;
}

}  // namespace

std::string DiscoveryId(const SiteTopics& topics, const FleetView::Display& display) {
  std::string base = display.mac.empty() ? display.key : display.mac;
  std::replace(base.begin(), base.end(), '.', '_');
  std::replace(base.begin(), base.end(), '-', '_');
  return "tarnex_" + topics.Site() + "_" + base;
}

std::vector<RetainedMessage> DiscoveryConfigs(const SiteTopics& topics,
                                              const FleetView::Display& display) {
  const std::string id = DiscoveryId(topics, display);
  std::vector<RetainedMessage> messages;
  for (const Entity& entity : kEntities) {
    messages.push_back({TopicOf(entity, id), ConfigOf(topics, display, entity, id).dump()});
  }
  return messages;
}

std::vector<RetainedMessage> DiscoveryClears(const SiteTopics& topics,
                                             const FleetView::Display& display) {
  const std::string id = DiscoveryId(topics, display);
  std::vector<RetainedMessage> messages;
  for (const Entity& entity : kEntities) messages.push_back({TopicOf(entity, id), {}});
  return messages;
}

}  // namespace tarnex::agent
