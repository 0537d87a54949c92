#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "display-sim/command_log.h"
#include "display-sim/command_responder.h"
#include "display-sim/display_state.h"
#include "display-sim/line_buffer.h"
#include "display-sim/pseudo_terminal.h"
#include "display-sim/serial_line_options.h"
#include "display-sim/wake_signal.h"

namespace tarnex::sim {

// Displays sharing one serial line, on a pseudo-terminal. Each set ID is a display with its
// own state; every display hears every command and only the one addressed answers. Commands
// to set ID "00" reach every display but none answers, since their answers would collide on
// the line, and none changes its state. Commands are logged under the name "serial:<set ID>"
// as the command carries it ("serial:?" when it carries none), whether a display answers or
// not. Setters are thread-safe and take effect with the next command.
class SerialLine {
 public:
  // Throws std::invalid_argument for a set ID that is not two hexadecimal digits, or "00",
  // and std::system_error when the pseudo-terminal or the link cannot be made.
  SerialLine(const SerialLineOptions& options, CommandLog& log);
  ~SerialLine();  // stops the line's thread and removes the link
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // The device the console opens.
  const std::string& Path() const { return pty_.DevicePath(); }
  // The symbolic link to it; empty when none was asked for.
  std::string LinkPath() const { return link_ ? link_->Path() : std::string(); }
  std::vector<std::string> SetIds() const;

  void SetSilent(std::string_view setId, bool silent);
  void SetSplitReplies(bool split) { split_ = split; }
  void SetDelayMs(int delayMs) { delayMs_ = delayMs; }
  // Stored data of one display for a command key ("kd", "fd 03"); empty for an unknown set ID.
  std::string Value(std::string_view setId, std::string_view commandKey) const;

 private:
  using Clock = std::chrono::steady_clock;

  struct Display {
    explicit Display(const std::string& replySetId) : responder(state, replySetId) {}
    DisplayState state;
    CommandResponder responder;
    bool silent = false;
  };
  struct Piece {
    std::string bytes;
    Clock::time_point due;
  };

  void Run();
  void Receive();
  void Answer(std::string_view line);
  std::optional<std::string> Reply(std::string_view line);
  void Flush();
  int PollTimeoutMs() const;

  CommandLog& log_;
  PseudoTerminal pty_;
  std::unique_ptr<DeviceLink> link_;

  mutable std::mutex stateMutex_;
  std::map<std::string, std::unique_ptr<Display>, std::less<>> displays_;
  std::atomic<bool> split_;
  std::atomic<int> delayMs_;

  // The line's thread only.
  LineBuffer lines_;
  std::deque<Piece> outgoing_;
  size_t queuedBytes_ = 0;

  WakeSignal wake_;
  std::atomic<bool> stop_{false};
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace tarnex::sim
