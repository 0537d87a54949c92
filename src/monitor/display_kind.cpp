#include "monitor/display_kind.h"

#include <array>
#include <string_view>

#include "platform/ui_thread.h"
#include "protocol/command_catalogue.h"
#include "protocol/command_frame.h"

namespace tarnex {

namespace {

// Positions 0, 1 and 2 are the kinds 1, 2 and 3.
constexpr std::array<std::string_view, 3> kKindReplies = {"u 01 OK01x", "u 01 OK02x", "u 01 OK03x"};

}  // namespace

int DisplayKindOf(const std::optional<std::string>& reply) {
  if (!reply || reply->empty()) return 0;
  const auto match = protocol::MatchReply(*reply, kKindReplies);
  return match ? static_cast<int>(*match) + 1 : 1;
}

int QueryDisplayKind(const ReadContext& context) {
  return DisplayKindOf(context.Send(protocol::query::kDisplayKind).reply);
}

void StoreDisplayKind(CConsoleCore& core, const ReadContext& context, int kind) {
  ExpectOnUiThread("the display kind of the selection");
  auto state = core.Lock();
  if (DisplayFacts* facts = context.Facts(state)) facts->kind = kind;
  if (kind != 0 && context.StillSelected(state)) state->Tree().NoteSelectedAnswered();
}

int KnownKind(const ReadContext& context) {
  auto state = context.core->Lock();
  const DisplayFacts* facts = context.Facts(state);
  return facts != nullptr ? facts->kind : 0;
}

int SelectedKind(CConsoleCore& core) {
  auto state = core.Lock();
  const DisplayFacts* facts = SelectedFacts(state);
  return facts != nullptr ? facts->kind : 0;
}

}  // namespace tarnex
