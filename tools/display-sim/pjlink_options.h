#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnex::sim {

// How one simulated PJLink class 1 display behaves when it is added to a fleet. Every switch
// can also be changed later through the setters of PjlinkDisplay.
struct PjlinkOptions {
  std::string address{};  // loopback address (must be in 127/8)
  uint16_t port = 4352;
  std::string password{};     // empty: no authentication ("PJLINK 0")
  std::string random{};       // eight hex digits greeting every connection; empty: drawn anew
  int warmUpMs = 3000;        // POWR 1 from standby: warm-up (3) for this long, then on (1)
  int coolDownMs = 3000;      // POWR 0 from on: cooling (2) for this long, then standby (0)
  int idleCloseSeconds = 30;  // a connection silent this long is closed (0 = never)
  std::string name = "display-sim";
  std::string maker = "TARNEX";
  std::string model = "SIM-PJ1";
  std::string info = "simulated display";
  std::vector<int> lampHours{1200};  // one entry per lamp
  // Reuses of the native displays' faults.
  bool refuse = false;
  bool unreachable = false;
  bool silent = false;        // accepts and reads, never says anything, not even the greeting
  int delayMs = 0;            // replies this late
  bool splitReplies = false;  // replies in two or three pieces, 20 ms apart
  bool garbage = false;       // replies a CR-ended line that is no reply
  // Quirks of real PJLink displays.
  bool lowerCase = false;         // replies in lower case: "%1powr=ok"
  bool leadingNuls = false;       // two NUL bytes before everything it writes
  bool classText = false;         // CLSS answers "Class 1" rather than "1"
  bool standbyErr3 = false;       // in standby everything but POWR answers ERR3
  bool noLamp = false;            // LAMP answers ERR1
  bool noAudio = false;           // AVMT 20/21 answer ERR2
  bool err4 = false;              // every command answers ERR4
  bool closeEachCommand = false;  // closes once each reply is written
};

}  // namespace tarnex::sim
