#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "display-sim/command_log.h"
#include "display-sim/command_responder.h"
#include "display-sim/display_options.h"
#include "display-sim/display_state.h"
#include "display-sim/line_outcome.h"

namespace tarnex::sim {

class EventLoop;
class TcpDisplayServer;

// One simulated display on TCP. Every setter is thread-safe and takes effect at once: the
// next command received is answered the new way.
class SimDisplay {
 public:
  // Starts serving at once unless options.refuse or options.unreachable, on the loop's
  // thread. Throws std::invalid_argument for an address outside 127.0.0.0/8 and
  // std::system_error when the address cannot be bound.
  SimDisplay(const DisplayOptions& options, CommandLog& log, EventLoop& loop);
  ~SimDisplay();
  SimDisplay(const SimDisplay&) = delete;
  SimDisplay& operator=(const SimDisplay&) = delete;

  const std::string& Address() const { return address_; }
  uint16_t Port() const;

  // Off: the listening socket and every open connection are closed, connects are refused.
  // On: listens again. Returns once done.
  void SetRefuse(bool refuse);
  // On: the listener stops accepting and its queue is full, so connects time out; open
  // connections are closed. Off: listens and accepts again. Returns once done.
  void SetUnreachable(bool unreachable);
  void SetSilent(bool silent) { silent_ = silent; }
  void SetDelayMs(int delayMs) { delayMs_ = delayMs; }
  void SetSplitReplies(bool split) { split_ = split; }
  void SetGarbage(bool garbage) { garbage_ = garbage; }
  void SetOddLength(bool odd) { oddLength_ = odd; }
  void SetCloseAfter(int commands) { closeAfter_ = commands; }
  void SetTrickle(bool trickle) { trickle_ = trickle; }
  void SetTwice(bool twice) { twice_ = twice; }
  void SetResetAfter(int commands) { resetAfter_ = commands; }

  void SetKind(int kind);
  void SetSignal(bool present);
  void SetFanOk(bool ok);
  void SetLampHours(int hours);
  void SetLampHours2(int hours);

  // Stored data for a command key: "kd", or letters and table index "fd 03".
  std::string Value(std::string_view commandKey) const;
  // What the display reports from now on for a known key, even data no command could set
  // ("nn" 04).
  void SetValue(std::string_view commandKey, std::string data);
  // The on-screen message text; empty while none is shown.
  std::string ShownMessage() const;
  // Connections accepted so far.
  int Connections() const;

 private:
  LineOutcome Handle(std::string_view line, int commandCount);
  std::string ShapeReply(std::string reply) const;

  const std::string address_;
  CommandLog& log_;
  std::atomic<bool> silent_;
  std::atomic<int> delayMs_;
  std::atomic<bool> split_;
  std::atomic<bool> garbage_;
  std::atomic<bool> oddLength_;
  std::atomic<int> closeAfter_;
  std::atomic<bool> trickle_;
  std::atomic<bool> twice_;
  std::atomic<int> resetAfter_;

  mutable std::mutex stateMutex_;
  DisplayState state_;
  CommandResponder responder_;

  std::unique_ptr<TcpDisplayServer> server_;  // last: the loop calls Handle
};

}  // namespace tarnex::sim
