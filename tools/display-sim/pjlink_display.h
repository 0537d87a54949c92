#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "display-sim/command_log.h"
#include "display-sim/connection_rules.h"
#include "display-sim/pjlink_options.h"
#include "display-sim/pjlink_responder.h"

namespace tarnex::sim {

class EventLoop;
class TcpDisplayServer;

// One simulated PJLink class 1 display. Every setter is thread-safe and takes effect at once
// for the next command; the password and random number take effect for the next connection.
class PjlinkDisplay {
 public:
  // Starts serving at once unless options.refuse or options.unreachable. Throws
  // std::invalid_argument for an address outside 127.0.0.0/8 or a random number that is not
  // eight hex digits, and std::system_error when the address cannot be bound.
  PjlinkDisplay(const PjlinkOptions& options, CommandLog& log, EventLoop& loop);
  ~PjlinkDisplay();
  PjlinkDisplay(const PjlinkDisplay&) = delete;
  PjlinkDisplay& operator=(const PjlinkDisplay&) = delete;

  const std::string& Address() const { return address_; }
  uint16_t Port() const;
  int Connections() const;  // accepted so far

  // As SimDisplay's: return once done.
  void SetRefuse(bool refuse);
  void SetUnreachable(bool unreachable);
  void SetSilent(bool silent) { silent_ = silent; }
  void SetDelayMs(int delayMs) { delayMs_ = delayMs; }
  void SetSplitReplies(bool split) { split_ = split; }
  void SetGarbage(bool garbage) { garbage_ = garbage; }
  void SetLowerCase(bool lower) { lowerCase_ = lower; }
  void SetLeadingNuls(bool nuls) { leadingNuls_ = nuls; }
  void SetClassText(bool text) { classText_ = text; }
  void SetStandbyErr3(bool err3) { standbyErr3_ = err3; }
  void SetNoLamp(bool noLamp) { noLamp_ = noLamp; }
  void SetNoAudio(bool noAudio) { noAudio_ = noAudio; }
  void SetErr4(bool err4) { err4_ = err4; }
  void SetCloseEachCommand(bool close) { closeEach_ = close; }
  void SetIdleCloseSeconds(int seconds) { idleCloseSeconds_ = seconds; }

  void SetPassword(std::string password);  // empty: no authentication
  void SetRandom(std::string random);      // empty: drawn for every connection
  void SetWarmUpMs(int ms);
  void SetCoolDownMs(int ms);
  void SetPower(int power);  // 0..3 at once, as if the display had got there by itself
  void SetErrorStatus(std::string digits);
  void SetLampHours(std::vector<int> hours);
  void SetName(std::string name);
  void SetInfo(std::string maker, std::string model, std::string info);

  int Power();
  std::string Input();
  std::string Mute();

 private:
  Session Open();
  LineOutcome Handle(std::string_view line, int commandCount, const std::string& prefix);
  LineOutcome Send(std::string packet, bool reply, bool closeAfter) const;
  PjlinkQuirks Quirks() const;

  const std::string address_;
  CommandLog& log_;
  std::atomic<bool> silent_;
  std::atomic<int> delayMs_;
  std::atomic<bool> split_;
  std::atomic<bool> garbage_;
  std::atomic<bool> lowerCase_;
  std::atomic<bool> leadingNuls_;
  std::atomic<bool> classText_;
  std::atomic<bool> standbyErr3_;
  std::atomic<bool> noLamp_;
  std::atomic<bool> noAudio_;
  std::atomic<bool> err4_;
  std::atomic<bool> closeEach_;
  std::atomic<int> idleCloseSeconds_;

  std::mutex stateMutex_;
  std::string password_;
  std::string random_;
  PjlinkResponder responder_;
  std::mt19937 draw_;  // loop thread only

  std::unique_ptr<TcpDisplayServer> server_;  // last: the loop calls Open and Handle
};

// Eight hex digits, as a greeting carries them.
bool IsPjlinkRandom(std::string_view text);

}  // namespace tarnex::sim
