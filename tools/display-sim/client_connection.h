#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include "display-sim/line_buffer.h"
#include "display-sim/line_outcome.h"

namespace tarnex::sim {

// One accepted connection of a simulated display: reads lines, queues the reply pieces with
// their due times and writes them when due. Lives on the event loop's thread only.
class ClientConnection {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ClientConnection(int fd);  // takes ownership of the non-blocking socket
  ~ClientConnection();
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;

  int Fd() const { return fd_; }
  // Reads what has arrived and hands each whole line to the handler.
  void Receive(const LineHandler& handler, Clock::time_point now);
  // Writes every piece that is due.
  void Flush(Clock::time_point now);
  std::optional<Clock::time_point> NextDue() const;
  bool WantsToRead() const { return !closing_ && !failed_; }
  bool WantsToWrite(Clock::time_point now) const;
  // Done: the peer went away, a limit was broken, or it was told to close and has written all.
  bool Finished() const { return failed_ || (closing_ && outgoing_.empty()); }
  // The peer is gone for good: nothing queued can reach it any more.
  void Abandon() { failed_ = true; }

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
  bool closing_ = false;
  bool failed_ = false;
};

}  // namespace tarnex::sim
