#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "links/link_socket.h"
#include "platform/sleeper.h"
#include "platform/socket_api.h"

namespace tarnex {

inline constexpr size_t kReplyBufferSize = 256;  // what a reply may grow to
inline constexpr size_t kReceiveChunk = 100;     // what one receive asks for
inline constexpr std::chrono::milliseconds kReceivePacing{50};
inline constexpr std::chrono::milliseconds kPowerResendPause{50};
// Bytes dropped from a socket before a send at most; more than any display sends unasked.
inline constexpr size_t kDiscardLimit = 64 * 1024;

// What a PJLink display said besides a reply; a native exchange leaves it kNone.
enum class LinkAnswer : std::uint8_t {
  kNone,        // no answer (a native exchange, silence, a broken session)
  kAnswered,    // OK or a value, which may have no native reply
  kNotSent,     // the command means nothing over this link: nothing went out
  kUndefined,   // ERR1: this display does not know the command
  kOutOfRange,  // ERR2: it refused the parameter
  kBusy,        // ERR3: warming up, cooling down or in standby
  kFailure,     // ERR4: the projector reports a failure
  kAuthFailed,  // ERRA, or a greeting that asks for a password the console does not have
};

// The display was there and answered something, so its silence is not to blame.
constexpr bool Present(LinkAnswer answer) {
  return answer != LinkAnswer::kNone && answer != LinkAnswer::kAuthFailed;
}

struct ExchangeOutcome {
  bool complete = false;
  bool cancelled = false;  // the console is closing; the display is not to blame
  std::string reply;       // the reply when complete
  int failedReceives = 0;
  LinkAnswer answer = LinkAnswer::kNone;
  std::string asked;  // PJLink: the command and parameter it went out as ("POWR 1")
};

// What one exchange sends and how it treats failures.
struct ExchangeSpec {
  std::string command;
  int maxFailedReceives = 3;
  // Send the command again after each failed receive but the last, with a fresh buffer, since
  // a fresh command brings a fresh reply.
  bool resend = true;
  // Power on and off: sent twice, 50 ms apart, and nothing is read.
  bool power = false;
};

// The whole time an exchange may take from its first send: the failed receives it may take,
// each a receive time-out after its pause, and the pause after a reply. A display that keeps
// trickling bytes without completing a reply restarts every receive time-out; this is what
// ends it.
std::chrono::milliseconds ExchangeDeadline(const ExchangeSpec& spec, int receiveTimeoutMs);

// One exchange as a sequence of steps, without any I/O, so that one display's exchange and a
// thousand displays' exchanges at once follow the same rules. Each receive is preceded by a
// 50 ms pause. A failed receive is an error or time-out, the display closing the connection,
// or a reply that would outgrow the reply buffer without completing. After a complete reply
// it pauses 50 ms more, so the display is ready for the next command.
class ExchangeMachine {
 public:
  enum class Step {
    kSend,     // drop what is queued on the socket, then send Command(); report Sent()
    kPause,    // wait Pause(); report Paused()
    kReceive,  // receive up to Room() bytes; report Received() or ReceiveFailed()
    kDone,
  };

  explicit ExchangeMachine(ExchangeSpec spec);

  Step Start();
  Step Sent();
  Step Paused();
  Step Received(std::string_view bytes);
  Step ReceiveFailed(int error);
  // The exchange's deadline passed: it gives up as after its last failed receive.
  Step DeadlinePassed();
  Step Cancelled();

  const std::string& Command() const { return m_spec.command; }
  std::chrono::milliseconds Pause() const { return m_pause; }
  size_t Room() const;
  bool Done() const { return m_state == State::kDone; }
  const ExchangeSpec& Spec() const { return m_spec; }
  ExchangeOutcome& Outcome() { return m_outcome; }

 private:
  enum class State { kSending, kPausing, kReceiving, kDone };
  enum class AfterPause { kReceive, kSend, kFinish };

  Step PauseThen(std::chrono::milliseconds pause, AfterPause next);
  Step Finish(bool complete);

  ExchangeSpec m_spec;
  ExchangeOutcome m_outcome;
  State m_state = State::kSending;
  AfterPause m_afterPause = AfterPause::kReceive;
  std::chrono::milliseconds m_pause{0};
  std::string m_buffer;
  int m_sends = 0;
};

// One command and its reply on one display's link, of whichever kind, on the calling thread.
ExchangeOutcome ExchangeWithDisplay(SocketApi& api, LinkSocket& link, const ExchangeSpec& spec,
                                    const Sleeper& sleep, int cancelFd = kNoSocket);

// One command and its reply on one display's socket, on the calling thread. Pauses go through
// `sleep`; receives wait at most the socket's receive time-out and end early when `cancelFd`
// becomes readable.
ExchangeOutcome ExchangeWithDisplay(SocketApi& api, int fd, const ExchangeSpec& spec,
                                    const Sleeper& sleep, int cancelFd = kNoSocket);

// The same as above with the exchange's usual options.
ExchangeOutcome ExchangeWithDisplay(SocketApi& api, int fd, std::string_view command,
                                    int maxFailedReceives, bool resend, const Sleeper& sleep,
                                    int cancelFd = kNoSocket);

// A display's next exchange, asked when the exchange at `position` has ended: the outcome is
// the one that ended (its reply may be moved out), and the answer starts on the same socket at
// once, or, when none, the display's sequence is over. Not asked after a cancel.
using NextExchange =
    std::function<std::optional<ExchangeSpec>(size_t position, ExchangeOutcome& outcome)>;

// Many exchanges, each on its own display's socket, side by side on the calling thread: every
// display gets the bytes and the pacing it would get alone. With `next`, each display runs a
// sequence of exchanges of its own, one after another, each with its own deadline, while the
// other displays run theirs. `finished` is called with the position of each display as its
// last exchange ends. Outcomes (each display's last) come back in the order of `sockets`.
// A PJLink display's exchanges run beside the native ones on the same loop, each by its
// link's rules.
std::vector<ExchangeOutcome> ExchangeWithDisplays(SocketApi& api,
                                                  std::span<LinkSocket* const> links,
                                                  std::span<const ExchangeSpec> specs, int cancelFd,
                                                  const std::function<void(size_t)>& finished,
                                                  const NextExchange& next = {});
// The same on native sockets.
std::vector<ExchangeOutcome> ExchangeWithDisplays(SocketApi& api, std::span<const int> sockets,
                                                  std::span<const ExchangeSpec> specs, int cancelFd,
                                                  const std::function<void(size_t)>& finished,
                                                  const NextExchange& next = {});

}  // namespace tarnex
