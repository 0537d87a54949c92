#include "monitor/slider_reader.h"

#include <string>

#include "console/command_transaction.h"
#include "monitor/page_state.h"
#include "protocol/command_frame.h"

namespace tarnex {

std::optional<int> SliderValueOf(std::string_view reply) {
  return protocol::ReadNumericReply(reply);
}

std::optional<int> ReadSliderValue(CConsoleCore& core, std::string_view letters) {
  const std::optional<std::string> reply =
      core.Transaction().SendCommand(protocol::BuildQuery(letters));
  if (!reply || reply->empty()) return std::nullopt;
  NoteSelectedAnswered(core);
  return SliderValueOf(*reply);
}

}  // namespace tarnex
