#include "console/command_target.h"

#include <charconv>

#include "protocol/command_frame.h"

namespace tarnex {

JobKeys CommandTarget::Keys() const {
  switch (route) {
    case Route::kDisplay:
      return JobKeys::Display(display);
    case Route::kNetworkGroup:
      return JobKeys::Leased(members);
    case Route::kSerial:
      return JobKeys::SerialLine();
    case Route::kNone:
      break;
  }
  return {};
}

CommandTarget TargetOf(const Selection& selection) {
  CommandTarget target;
  target.item = selection.item();
  switch (selection.kind()) {
    case Selection::Kind::kDisplay:
      target.route = CommandTarget::Route::kDisplay;
      target.display = selection.display();
      break;
    case Selection::Kind::kGroup:
      // A listing that stands for no display is skipped: no history line, no wait.
      target.members = selection.PresentMembers();
      if (!target.members.empty()) target.route = CommandTarget::Route::kNetworkGroup;
      break;
    case Selection::Kind::kSerialDisplay:
      target.route = CommandTarget::Route::kSerial;
      target.setIds.push_back(selection.SetId());
      target.historySetId = selection.SetNumberText();
      target.serialId = selection.setNumber();
      break;
    case Selection::Kind::kSerialGroup:
      // A group is always its members, each at its own set ID: only a single set item may
      // address set ID 00, every display on the line.
      for (int number : selection.setNumbers()) {
        if (const auto setId = protocol::DeriveSetId(std::to_string(number))) {
          target.setIds.push_back(*setId);
        }
      }
      if (target.setIds.empty()) break;
      target.route = CommandTarget::Route::kSerial;
      target.serialGroup = true;
      break;
    case Selection::Kind::kNothing:
      break;
  }
  return target;
}

std::string CommandTarget::SerialName(size_t member) const {
  if (!serialGroup) return historySetId;
  if (member >= setIds.size()) return {};
  int number = -1;
  const std::string& setId = setIds[member];
  std::from_chars(setId.data(), setId.data() + setId.size(), number, 16);
  return number < 0 ? std::string() : std::to_string(number);
}

}  // namespace tarnex
