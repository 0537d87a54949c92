#pragma once

#include <string>
#include <vector>

#include "agent/agent_topics.h"
#include "agent/fleet_state.h"

namespace tarnex::agent {

struct RetainedMessage {
  std::string topic;
  std::string payload;  // empty clears the retained config
};

// The id Home Assistant keeps a display's entities under: tarnex_<site>_<MAC or address>, the
// address's dots as "_", so that it survives a new label and, with a MAC, a new address.
std::string DiscoveryId(const SiteTopics& topics, const FleetView::Display& display);

// The retained configs of one display: a power switch, an input select, lamp and fan sensors.
// Each is available only while both the agent and the display are.
std::vector<RetainedMessage> DiscoveryConfigs(const SiteTopics& topics,
                                              const FleetView::Display& display);
// The same topics with empty payloads: the display left the fleet.
std::vector<RetainedMessage> DiscoveryClears(const SiteTopics& topics,
                                             const FleetView::Display& display);

}  // namespace tarnex::agent
