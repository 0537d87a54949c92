#include "display-sim/pjlink_display.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "display-sim/loopback_address.h"
#include "display-sim/reply_faults.h"
#include "display-sim/tcp_display_server.h"
#include "protocol/pjlink_codec.h"

namespace tarnex::sim {
namespace {

constexpr size_t kDigestLength = 32;
// The longest command, CR included; the prefix of an authenticated first command comes on top.
constexpr size_t kMaxPjlinkCommand = 136;
constexpr auto kPjlinkSplitPause = std::chrono::milliseconds(20);
constexpr std::string_view kRefusal = "PJLINK ERRA\r";
constexpr std::string_view kGarbage = "%1#?~ garbage ~?#\r";

const std::string& CheckedPjlinkOptions(const PjlinkOptions& options) {
  if (!IsLoopbackAddress(options.address)) {
    throw std::invalid_argument("display-sim: not a 127.0.0.0/8 address: " + options.address);
  }
  if (!options.random.empty() && !IsPjlinkRandom(options.random)) {
    throw std::invalid_argument("display-sim: not eight hex digits: " + options.random);
  }
  return options.address;
}

Reach PjlinkStartingReach(const PjlinkOptions& options) {
  if (options.refuse) return Reach::kRefusing;
  return options.unreachable ? Reach::kUnreachable : Reach::kAnswering;
}

bool SameDigest(std::string_view received, std::string_view expected) {
  return received.size() == expected.size() &&
         std::equal(received.begin(), received.end(), expected.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

std::string LowerCased(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool IsPjlinkRandom(std::string_view text) {
  return text.size() == 8 && std::all_of(text.begin(), text.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
         });
}

PjlinkDisplay::PjlinkDisplay(const PjlinkOptions& options, CommandLog& log, EventLoop& loop)
    : address_(CheckedPjlinkOptions(options)),
      log_(log),
      silent_(options.silent),
      delayMs_(options.delayMs),
      split_(options.splitReplies),
      garbage_(options.garbage),
      lowerCase_(options.lowerCase),
      leadingNuls_(options.leadingNuls),
      classText_(options.classText),
      standbyErr3_(options.standbyErr3),
      noLamp_(options.noLamp),
      noAudio_(options.noAudio),
      err4_(options.err4),
      closeEach_(options.closeEachCommand),
      idleCloseSeconds_(options.idleCloseSeconds),
      password_(options.password),
      random_(options.random),
      responder_(options),
      draw_(std::random_device{}()) {
  ConnectionRules rules{
      .lineEnd = '\r',
      .maxLine = kDigestLength + kMaxPjlinkCommand,
      .open = [this] { return Open(); },
      .idleLimit = [this] { return std::chrono::seconds(std::max(0, idleCloseSeconds_.load())); },
  };
  server_ = std::make_unique<TcpDisplayServer>(loop, address_, options.port, LineHandler(),
                                               PjlinkStartingReach(options), std::move(rules));
}

PjlinkDisplay::~PjlinkDisplay() {
  server_.reset();
}

uint16_t PjlinkDisplay::Port() const {
  return server_->Port();
}

int PjlinkDisplay::Connections() const {
  return server_->Connections();
}

void PjlinkDisplay::SetRefuse(bool refuse) {
  server_->SetReach(refuse ? Reach::kRefusing : Reach::kAnswering);
}

void PjlinkDisplay::SetUnreachable(bool unreachable) {
  server_->SetReach(unreachable ? Reach::kUnreachable : Reach::kAnswering);
}

// On the loop thread for every accepted connection: the greeting, and a handler that knows
// the digest this connection's first command must carry.
Session PjlinkDisplay::Open() {
  std::string password;
  std::string random;
  {
    std::lock_guard lock(stateMutex_);
    password = password_;
    random = random_;
  }
  if (password.empty()) {
    return {Send("PJLINK 0\r", false, false),
            [this](std::string_view line, int count) { return Handle(line, count, {}); }};
  }
  if (random.empty()) {
    char drawn[9];
    std::snprintf(drawn, sizeof drawn, "%08x", static_cast<unsigned>(draw_()));
    random = drawn;
  }
  std::string prefix = pjlink::AuthPrefix(random, password);
  return {Send("PJLINK 1 " + random + "\r", false, false),
          [this, prefix = std::move(prefix)](std::string_view line, int count) {
            return Handle(line, count, prefix);
          }};
}

LineOutcome PjlinkDisplay::Handle(std::string_view line, int commandCount,
                                  const std::string& prefix) {
  log_.Record(address_, line);
  std::string_view command = line;
  if (!prefix.empty() && commandCount == 1) {
    if (!SameDigest(command.substr(0, kDigestLength), prefix)) {
      return Send(std::string(kRefusal), false, true);
    }
    command.remove_prefix(kDigestLength);
  }
  LineOutcome hangUp;
  hangUp.closeAfter = true;
  if (command.size() > kMaxPjlinkCommand) return hangUp;
  command.remove_suffix(1);  // the CR
  std::optional<std::string> reply;
  {
    std::lock_guard lock(stateMutex_);
    reply = responder_.Answer(command, Quirks(), PjlinkResponder::Clock::now());
  }
  const bool closeAfter = closeEach_.load();
  if (!reply) return closeAfter ? hangUp : LineOutcome{};
  return Send(*reply + "\r", true, closeAfter);
}

// A packet as this display writes it, with its quirks and faults.
LineOutcome PjlinkDisplay::Send(std::string packet, bool reply, bool closeAfter) const {
  LineOutcome outcome;
  outcome.closeAfter = closeAfter;
  if (silent_.load()) return outcome;
  if (reply && garbage_.load()) packet = std::string(kGarbage);
  if (reply && lowerCase_.load()) packet = LowerCased(std::move(packet));
  if (leadingNuls_.load()) packet.insert(0, 2, '\0');
  if (reply) outcome.delay = std::chrono::milliseconds(std::max(0, delayMs_.load()));
  if (split_.load()) {
    outcome.pieces = SplitReply(packet);
    outcome.pause = kPjlinkSplitPause;
  } else {
    outcome.pieces = {std::move(packet)};
  }
  return outcome;
}

PjlinkQuirks PjlinkDisplay::Quirks() const {
  return {.classText = classText_.load(),
          .standbyErr3 = standbyErr3_.load(),
          .noLamp = noLamp_.load(),
          .noAudio = noAudio_.load(),
          .err4 = err4_.load()};
}

void PjlinkDisplay::SetPassword(std::string password) {
  std::lock_guard lock(stateMutex_);
  password_ = std::move(password);
}

void PjlinkDisplay::SetRandom(std::string random) {
  if (!random.empty() && !IsPjlinkRandom(random)) {
    throw std::invalid_argument("display-sim: not eight hex digits: " + random);
  }
  std::lock_guard lock(stateMutex_);
  random_ = std::move(random);
}

void PjlinkDisplay::SetWarmUpMs(int ms) {
  std::lock_guard lock(stateMutex_);
  responder_.SetWarmUp(std::chrono::milliseconds(std::max(0, ms)));
}

void PjlinkDisplay::SetCoolDownMs(int ms) {
  std::lock_guard lock(stateMutex_);
  responder_.SetCoolDown(std::chrono::milliseconds(std::max(0, ms)));
}

void PjlinkDisplay::SetPower(int power) {
  std::lock_guard lock(stateMutex_);
  responder_.SetPower(std::clamp(power, 0, 3));
}

void PjlinkDisplay::SetErrorStatus(std::string digits) {
  std::lock_guard lock(stateMutex_);
  responder_.SetErrorStatus(std::move(digits));
}

void PjlinkDisplay::SetLampHours(std::vector<int> hours) {
  std::lock_guard lock(stateMutex_);
  responder_.SetLampHours(std::move(hours));
}

void PjlinkDisplay::SetName(std::string name) {
  std::lock_guard lock(stateMutex_);
  responder_.SetName(std::move(name));
}

void PjlinkDisplay::SetInfo(std::string maker, std::string model, std::string info) {
  std::lock_guard lock(stateMutex_);
  responder_.SetInfo(std::move(maker), std::move(model), std::move(info));
}

int PjlinkDisplay::Power() {
  std::lock_guard lock(stateMutex_);
  return responder_.Power(PjlinkResponder::Clock::now());
}

std::string PjlinkDisplay::Input() {
  std::lock_guard lock(stateMutex_);
  return responder_.Input();
}

std::string PjlinkDisplay::Mute() {
  std::lock_guard lock(stateMutex_);
  return responder_.Mute();
}

}  // namespace tarnex::sim
