#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarnex::sim {

// How one simulated display behaves when it is added to a fleet. Every fault can also be
// switched later through the setters of SimDisplay.
struct DisplayOptions {
  std::string address{};  // loopback address, e.g. "127.0.0.2" (must be in 127/8)
  uint16_t port = 9761;
  int kind = 2;               // answer to "nu 01 ff\n": 1, 2 or 3
  bool signal = true;         // "na": 01 present / 00 absent
  bool fanOk = true;          // "nt": 01 normal / 00 abnormal
  int lampHours = 1200;       // "nb"/"nc": high and low byte of lamp time 1
  int lampHours2 = 800;       // "nd"/"ne": lamp time 2
  bool refuse = false;        // not listening: connects are refused
  bool unreachable = false;   // listening but never accepting: connects time out
  bool silent = false;        // accepts and reads, never answers
  int delayMs = 0;            // answers after this delay
  bool splitReplies = false;  // every reply written in several pieces with short pauses
  bool garbage = false;       // answers bytes that are no valid reply, ending in "x"
  bool oddLength = false;     // answers replies with an odd number of data characters
  int closeAfter = 0;         // closes the connection after N commands (0 = never)
  bool trickle = false;       // every reply written a byte at a time, slower than a time-out
  bool twice = false;         // every reply written twice
  int resetAfter = 0;         // resets the connection (RST) on the Nth command (0 = never)
  // Data of read-write settings at power-up, by letters: {"kd", "01"} starts with mute on.
  std::vector<std::pair<std::string, std::string>> settings{};
};

// One command as a display received it.
struct LogEntry {
  std::string address;
  std::string command;  // the bytes as received, line feed included
};

}  // namespace tarnex::sim
