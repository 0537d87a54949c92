#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display-sim/pjlink_options.h"

namespace tarnex::sim {

// What a display's quirks change in its answers; read afresh for every command.
struct PjlinkQuirks {
  bool classText = false;
  bool standbyErr3 = false;
  bool noLamp = false;
  bool noAudio = false;
  bool err4 = false;
};

// The state of one PJLink class 1 display and its answers. Power moves through warm-up and
// cooling by the clock, settled whenever it is looked at, so no timer is needed. Not
// thread-safe: the owner locks.
class PjlinkResponder {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kStandby = 0;
  static constexpr int kOn = 1;
  static constexpr int kCooling = 2;
  static constexpr int kWarmUp = 3;

  explicit PjlinkResponder(const PjlinkOptions& options);

  // One command without authentication prefix and CR, "%1POWR 1": the reply without its CR,
  // or none for a line that is no command at all.
  std::optional<std::string> Answer(std::string_view command, const PjlinkQuirks& quirks,
                                    Clock::time_point now);

  int Power(Clock::time_point now);
  void SetPower(int power) { power_ = power; }  // at once, no warm-up or cooling
  void SetWarmUp(std::chrono::milliseconds time) { warmUp_ = time; }
  void SetCoolDown(std::chrono::milliseconds time) { coolDown_ = time; }
  const std::string& Input() const { return input_; }
  std::string Mute() const;
  void SetErrorStatus(std::string digits) { errorStatus_ = std::move(digits); }
  void SetLampHours(std::vector<int> hours) { lampHours_ = std::move(hours); }
  void SetName(std::string name) { name_ = std::move(name); }
  void SetInfo(std::string maker, std::string model, std::string info);

 private:
  std::string Reply(std::string_view command, std::string_view parameter,
                    const PjlinkQuirks& quirks, Clock::time_point now);
  std::string SetPowerTo(std::string_view parameter, Clock::time_point now);
  std::string SetInput(std::string_view parameter, Clock::time_point now);
  std::string SetMute(std::string_view parameter, bool noAudio, Clock::time_point now);
  std::optional<std::string> QueryValue(std::string_view command, const PjlinkQuirks& quirks,
                                        Clock::time_point now);
  std::string Lamps(Clock::time_point now);

  int power_ = kStandby;
  Clock::time_point settles_{};  // when warm-up or cooling ends
  std::chrono::milliseconds warmUp_;
  std::chrono::milliseconds coolDown_;
  std::string input_ = "31";
  bool videoMuted_ = false;
  bool audioMuted_ = false;
  std::string errorStatus_ = "000000";
  std::vector<int> lampHours_;
  std::string name_;
  std::string maker_;
  std::string model_;
  std::string info_;
};

}  // namespace tarnex::sim
