// The PJLink codec against any bytes a display, or a stranger on its port, can send: nothing
// read is ever longer than a packet, and every value helper stays inside its own bounds.
#include <array>

#include "fuzz_support.h"
#include "protocol/pjlink_codec.h"

using namespace tarnex;
using namespace tarnex::pjlink;

namespace {

// The helpers read a value already bounded by ParseReply, but are fed any bytes here as well.
void CheckValue(std::string_view value) {
  if (const auto digit = ClassOf(value)) TARNEX_FUZZ_CHECK(*digit >= 0 && *digit <= 9);
  PowerWord(value);
  ScreenMuted(value);
  const std::vector<std::string> inputs = InputsOf(value);
  TARNEX_FUZZ_CHECK(inputs.size() <= 50);
  for (const std::string& code : inputs) TARNEX_FUZZ_CHECK(!InputName(code).empty());
  InputName(value);
  const auto lamps = LampsOf(value);
  TARNEX_FUZZ_CHECK(lamps.size() <= 2);
  for (const auto& lamp : lamps) TARNEX_FUZZ_CHECK(lamp.first >= 0 && lamp.first <= 99999);
  ErrorStatus(value);
}

void CheckReply(std::string_view packet, std::string_view command, bool query) {
  const Reply reply = ParseReply(packet, command, query);
  TARNEX_FUZZ_CHECK(reply.kind == ReplyKind::kValue || reply.value.empty());
  // A value answers a query only, an OK a set only, and a value never outgrows its packet:
  // the packet's one byte of room lets it run one past a parameter.
  if (reply.kind == ReplyKind::kValue)
    TARNEX_FUZZ_CHECK(query &&
                      reply.value.size() <= kMaxPacket - std::string_view("%1POWR=").size());
  if (reply.kind == ReplyKind::kOk) TARNEX_FUZZ_CHECK(!query);
  CheckValue(reply.value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  fuzz::Input input(data, size);
  const std::string_view command = input.Field(5);
  const std::string_view packet = input.Rest();

  static constexpr std::array<std::string_view, 5> kCommands = {"POWR", "inpt", "LAMP", "ERST",
                                                                "NAME"};
  for (const bool query : {true, false}) {
    CheckReply(packet, command, query);
    for (const std::string_view known : kCommands) CheckReply(packet, known, query);
  }

  if (const auto greeting = ParseGreeting(packet)) {
    TARNEX_FUZZ_CHECK(greeting->random.size() == (greeting->authenticate ? 8u : 0u));
  }
  CheckValue(packet);

  // Whatever the console frames is one line a display can read back whole.
  const std::string frame = Frame(command, packet);
  if (!frame.empty()) {
    TARNEX_FUZZ_CHECK(frame.size() <= kMaxPacket && frame.back() == '\r');
    TARNEX_FUZZ_CHECK(frame.find('\r') == frame.size() - 1 && fuzz::Printable(frame.substr(0, 7)));
  }
  return 0;
}
