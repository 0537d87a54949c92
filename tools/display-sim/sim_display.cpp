#include "display-sim/sim_display.h"

#include <algorithm>
#include <stdexcept>

#include "display-sim/loopback_address.h"
#include "display-sim/reply_faults.h"
#include "display-sim/tcp_display_server.h"

namespace tarnex::sim {
namespace {

// Replies on TCP always carry set ID 01, whatever the command said.
constexpr std::string_view kTcpSetId = "01";
constexpr auto kSplitPause = std::chrono::milliseconds(20);
// A trickled ten-byte reply takes 0.8 s, longer than any receive time-out of the console's.
constexpr auto kTricklePause = std::chrono::milliseconds(80);

const std::string& CheckedAddress(const DisplayOptions& options) {
  if (!IsLoopbackAddress(options.address)) {
    throw std::invalid_argument("display-sim: not a 127.0.0.0/8 address: " + options.address);
  }
  return options.address;
}

Reach StartingReach(const DisplayOptions& options) {
  if (options.refuse) return Reach::kRefusing;
  return options.unreachable ? Reach::kUnreachable : Reach::kAnswering;
}

}  // namespace

SimDisplay::SimDisplay(const DisplayOptions& options, CommandLog& log, EventLoop& loop)
    : address_(CheckedAddress(options)),
      log_(log),
      silent_(options.silent),
      delayMs_(options.delayMs),
      split_(options.splitReplies),
      garbage_(options.garbage),
      oddLength_(options.oddLength),
      closeAfter_(options.closeAfter),
      trickle_(options.trickle),
      twice_(options.twice),
      resetAfter_(options.resetAfter),
      responder_(state_, std::string(kTcpSetId)) {
  state_.SetKind(options.kind);
  state_.SetSignal(options.signal);
  state_.SetFanOk(options.fanOk);
  state_.SetLampHours(options.lampHours);
  state_.SetLampHours2(options.lampHours2);
  for (const auto& [letters, data] : options.settings) state_.Store(letters, data);
  server_ = std::make_unique<TcpDisplayServer>(
      loop, address_, options.port,
      [this](std::string_view line, int count) { return Handle(line, count); },
      StartingReach(options));
}

SimDisplay::~SimDisplay() {
  server_.reset();
}

uint16_t SimDisplay::Port() const {
  return server_->Port();
}

int SimDisplay::Connections() const {
  return server_->Connections();
}

void SimDisplay::SetRefuse(bool refuse) {
  server_->SetReach(refuse ? Reach::kRefusing : Reach::kAnswering);
}

void SimDisplay::SetUnreachable(bool unreachable) {
  server_->SetReach(unreachable ? Reach::kUnreachable : Reach::kAnswering);
}

// Runs on the event loop's thread for every line received.
LineOutcome SimDisplay::Handle(std::string_view line, int commandCount) {
  log_.Record(address_, line);
  std::optional<std::string> reply;
  {
    std::lock_guard lock(stateMutex_);
    reply = responder_.Answer(line);
    // What the screen shows, for tests and the demo that check a message arrived whole.
    if (MessageBoard::IsShowOrder(line))
      log_.Record(address_, "message: " + state_.Message().ShownText());
  }
  LineOutcome outcome;
  const int closeAfter = closeAfter_.load();
  outcome.closeAfter = closeAfter > 0 && commandCount >= closeAfter;
  const int resetAfter = resetAfter_.load();
  outcome.reset = resetAfter > 0 && commandCount >= resetAfter;
  if (!reply || silent_.load() || outcome.reset) return outcome;
  std::string shaped = ShapeReply(std::move(*reply));
  if (twice_.load()) shaped += shaped;
  outcome.delay = std::chrono::milliseconds(std::max(0, delayMs_.load()));
  if (trickle_.load()) {
    for (char byte : shaped) outcome.pieces.emplace_back(1, byte);
    outcome.pause = kTricklePause;
  } else if (split_.load()) {
    outcome.pieces = SplitReply(shaped);
    outcome.pause = kSplitPause;
  } else {
    outcome.pieces = {shaped};
  }
  return outcome;
}

std::string SimDisplay::ShapeReply(std::string reply) const {
  if (garbage_.load()) return GarbageReply();
  if (oddLength_.load()) return OddLengthReply(reply);
  return reply;
}

void SimDisplay::SetKind(int kind) {
  std::lock_guard lock(stateMutex_);
  state_.SetKind(kind);
}

void SimDisplay::SetSignal(bool present) {
  std::lock_guard lock(stateMutex_);
  state_.SetSignal(present);
}

void SimDisplay::SetFanOk(bool ok) {
  std::lock_guard lock(stateMutex_);
  state_.SetFanOk(ok);
}

void SimDisplay::SetLampHours(int hours) {
  std::lock_guard lock(stateMutex_);
  state_.SetLampHours(hours);
}

void SimDisplay::SetLampHours2(int hours) {
  std::lock_guard lock(stateMutex_);
  state_.SetLampHours2(hours);
}

std::string SimDisplay::Value(std::string_view commandKey) const {
  std::lock_guard lock(stateMutex_);
  return state_.Value(commandKey);
}

void SimDisplay::SetValue(std::string_view commandKey, std::string data) {
  std::lock_guard lock(stateMutex_);
  state_.Store(commandKey, std::move(data));
}

std::string SimDisplay::ShownMessage() const {
  std::lock_guard lock(stateMutex_);
  return state_.Message().ShownText();
}

}  // namespace tarnex::sim
