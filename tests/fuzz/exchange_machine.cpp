// One display exchange driven by a script of sends, pauses, received pieces, failures and
// deadlines: it always ends, never holds more than its reply buffer, and a reply it calls
// complete is one whole reply to this command.
#include <cerrno>

#include "fuzz_support.h"
#include "links/network_exchange.h"
#include "protocol/command_frame.h"

using namespace tarnex;
using Step = ExchangeMachine::Step;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  fuzz::Input input(data, size);
  const uint8_t flags = input.Byte();
  ExchangeSpec spec;
  spec.command = protocol::BuildQuery((flags & 4) != 0 ? "kd" : "ka");
  spec.maxFailedReceives = 1 + (flags >> 4) % 4;
  spec.resend = (flags & 1) != 0;
  spec.power = (flags & 2) != 0;
  TARNEX_FUZZ_CHECK(ExchangeDeadline(spec, 1 + input.Byte() * 100).count() > 0);

  ExchangeMachine machine(spec);
  Step step = machine.Start();
  size_t steps = 0;
  bool deadline = false;
  while (step != Step::kDone) {
    // Every step but a receive takes a byte or none, so a script that runs out ends in the
    // deadline; after it the machine has to stop within a step.
    TARNEX_FUZZ_CHECK(++steps <= 4 * fuzz::kMaxInput + 8);
    TARNEX_FUZZ_CHECK(!deadline);
    TARNEX_FUZZ_CHECK(machine.Room() < kReplyBufferSize);
    if (input.Empty()) {
      step = machine.DeadlinePassed();
      deadline = true;
      continue;
    }
    switch (step) {
      case Step::kSend:
        step = machine.Sent();
        break;
      case Step::kPause:
        step = machine.Paused();
        break;
      case Step::kReceive: {
        TARNEX_FUZZ_CHECK(!spec.power);
        const uint8_t action = input.Byte();
        if (action < 8) {
          step = machine.ReceiveFailed(action < 4 ? 0 : ETIMEDOUT);
        } else if (action == 8) {
          step = machine.Cancelled();
        } else {
          const std::string_view piece = input.Field(kReceiveChunk);
          TARNEX_FUZZ_CHECK(machine.Room() > 0);
          step = machine.Received(piece.substr(0, machine.Room()));
        }
        break;
      }
      case Step::kDone:
        break;
    }
  }

  const ExchangeOutcome& outcome = machine.Outcome();
  TARNEX_FUZZ_CHECK(outcome.failedReceives <= spec.maxFailedReceives);
  if (outcome.complete) {
    TARNEX_FUZZ_CHECK(!outcome.cancelled);
    if (!spec.power) {
      TARNEX_FUZZ_CHECK(protocol::IsReplyComplete(outcome.reply));
      TARNEX_FUZZ_CHECK(outcome.reply.size() < kReplyBufferSize);
      TARNEX_FUZZ_CHECK(protocol::StaleReplyLength(outcome.reply, spec.command) == 0);
    }
  } else {
    TARNEX_FUZZ_CHECK(outcome.reply.empty());
  }
  return 0;
}
