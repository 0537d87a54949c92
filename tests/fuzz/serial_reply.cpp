// The serial reply handling over a stream of any bytes in any pieces: every reply taken or
// passed over is whole, each step consumes bytes, and normalising keeps the reply's shape.
#include "links/serial_reply.h"
#include "fuzz_support.h"
#include "protocol/command_frame.h"

using namespace tarnex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  fuzz::Input input(data, size);
  const std::string setId(input.Field(2));
  std::string received;
  while (!input.Empty()) {
    received += input.Field(32);  // the bytes one read returns
    for (;;) {
      const std::string_view rest = SkipLeadingLineEnds(received);
      TARNEX_FUZZ_CHECK(rest.size() <= received.size());
      TARNEX_FUZZ_CHECK(rest.empty() || (rest.front() != '\n' && rest.front() != '\r'));
      const size_t length = FirstReplyLength(rest);
      TARNEX_FUZZ_CHECK(length <= rest.size() && (rest.empty() || length > 0));
      const std::string_view reply = rest.substr(0, length);
      const SerialReplyVerdict verdict = JudgeSerialReply(reply, setId);
      if (verdict == SerialReplyVerdict::kIncomplete) break;
      TARNEX_FUZZ_CHECK(protocol::IsReplyComplete(reply));
      const std::string normalized = NormalizeSerialReply(reply, setId);
      TARNEX_FUZZ_CHECK(normalized.size() == reply.size());
      TARNEX_FUZZ_CHECK(normalized.substr(0, 2) == reply.substr(0, 2));
      TARNEX_FUZZ_CHECK(normalized.substr(4) == reply.substr(4));
      // Whatever follows the reply waits for the next command.
      received = std::string(rest.substr(length));
    }
  }
  return 0;
}
