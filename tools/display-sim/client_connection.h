#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include "display-sim/command_line_parser.h"
#include "display-sim/line_buffer.h"
#include "display-sim/line_outcome.h"

namespace tarnex::sim {

// One accepted connection of a simulated display: reads lines, queues the reply pieces with
// their due times and writes them when due. Lives on the event loop's thread only.
class ClientConnection {
 public:
  using Clock = std::chrono::steady_clock;

  // Takes ownership of the non-blocking socket.
  explicit ClientConnection(int fd, char lineEnd = '\n', size_t maxLine = kMaxCommandLength);
  ~ClientConnection();
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;

  int Fd() const { return fd_; }
  // Reads what has arrived and hands each whole line to the handler.
  void Receive(const LineHandler& handler, Clock::time_point now);
  // Queues what is said before any command.
  void Greet(const LineOutcome& greeting, Clock::time_point now) { Queue(greeting, now); }
  // Writes every piece that is due.
  void Flush(Clock::time_point now);
  std::optional<Clock::time_point> NextDue() const;
  bool WantsToRead() const { return !closing_ && !failed_; }
  bool WantsToWrite(Clock::time_point now) const;
  // Done: the peer went away, a limit was broken, or it was told to close and has written all.
  bool Finished() const { return failed_ || (closing_ && outgoing_.empty()); }
  // The peer is gone for good: nothing queued can reach it any more.
  void Abandon() { failed_ = true; }
  // Stops reading and closes once what is queued is written.
  void HangUp() { closing_ = true; }
  // When a byte last arrived, or the connection was accepted.
  Clock::time_point LastHeard() const { return lastHeard_; }

 private:
  struct Piece {
    std::string bytes;
    Clock::time_point due;
  };

  void Queue(const LineOutcome& outcome, Clock::time_point now);
  bool WriteFront();

  int fd_;
  LineBuffer lines_;
  std::deque<Piece> outgoing_;
  size_t queuedBytes_ = 0;
  int commands_ = 0;
  Clock::time_point lastHeard_ = Clock::now();
  bool closing_ = false;
  bool failed_ = false;
};

}  // namespace tarnex::sim
