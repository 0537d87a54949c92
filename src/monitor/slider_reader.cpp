#include "monitor/slider_reader.h"

#include <string>

#include "protocol/command_frame.h"

namespace tarnex {

std::optional<int> SliderValueOf(std::string_view reply) {
  return protocol::ReadNumericReply(reply);
}

SliderReading ReadSliderValue(const ReadContext& context, std::string_view letters) {
  const SendOutcome outcome = context.Send(protocol::BuildQuery(letters));
  if (outcome.cancelled || !outcome.reply || outcome.reply->empty()) return {};
  return {.answered = true, .value = SliderValueOf(*outcome.reply)};
}

}  // namespace tarnex
