// What arrives over MQTT, from any client the broker lets publish: a topic, a payload, and
// the documents a window reads back. Nothing is accepted that the command line would refuse,
// and nothing read grows past its bounds.
#include "agent/agent_topics.h"
#include "agent/fleet_state.h"
#include "fuzz_support.h"

using namespace tarnex;
using namespace tarnex::agent;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  fuzz::Input input(data, size);
  const std::string_view topic = input.Until('\0');
  const std::string_view payload = input.Rest();
  const SiteTopics topics("site-a");

  if (const auto incoming = ParseIncoming(topics, topic)) {
    if (incoming->kind == IncomingTopic::Kind::kSet) {
      TARNEX_FUZZ_CHECK(IsDisplayKey(incoming->key));
      const AgentRequest set = SetRequest(incoming->key, incoming->setting, payload);
      TARNEX_FUZZ_CHECK(set.request.has_value() != !set.error.empty());
      if (set.request) TARNEX_FUZZ_CHECK(CheckRequest(*set.request).empty());
    }
  }
  const AgentRequest command = CommandRequest(payload);
  if (command.request) {
    TARNEX_FUZZ_CHECK(payload.size() <= kMaxPayloadBytes && CheckRequest(*command.request).empty());
    TARNEX_FUZZ_CHECK(command.request->targets.size() <= kMaxScriptTargets);
  }
  if (const auto state = StateFromJson(payload)) {
    TARNEX_FUZZ_CHECK(!state->link.empty() && state->link.size() <= 32);
    TARNEX_FUZZ_CHECK(StateFromJson(StateJson(*state)) == state);
  }
  if (const auto fleet = FleetFromJson(payload)) {
    for (const auto& display : fleet->displays) TARNEX_FUZZ_CHECK(IsDisplayKey(display.key));
    TARNEX_FUZZ_CHECK(FleetFromJson(FleetJson(*fleet)) == fleet);
  }
  topics.IsReplyTopic(topic);
  return 0;
}
