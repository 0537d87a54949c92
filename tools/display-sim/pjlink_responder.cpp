#include "display-sim/pjlink_responder.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tarnex::sim {
namespace {

constexpr std::string_view kPjlinkInputs = "11 12 21 31 32";
constexpr std::string_view kPjlinkOk = "OK";
constexpr std::string_view kUnknownCommand = "ERR1";
constexpr std::string_view kBadParameter = "ERR2";
constexpr std::string_view kUnavailable = "ERR3";
constexpr std::string_view kFailure = "ERR4";
// Everything this display knows; the rest is answered ERR1.
constexpr std::array<std::string_view, 11> kPjlinkCommands = {
    "POWR", "INPT", "AVMT", "ERST", "LAMP", "INST", "NAME", "INF1", "INF2", "INFO", "CLSS"};

std::string UpperCased(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

bool IsPjlinkCommand(std::string_view command) {
  return std::find(kPjlinkCommands.begin(), kPjlinkCommands.end(), command) !=
         kPjlinkCommands.end();
}

bool IsListedInput(std::string_view code) {
  if (code.size() != 2) return false;
  for (size_t at = 0; at + 2 <= kPjlinkInputs.size(); at += 3) {
    if (kPjlinkInputs.substr(at, 2) == code) return true;
  }
  return false;
}

}  // namespace

PjlinkResponder::PjlinkResponder(const PjlinkOptions& options)
    : warmUp_(options.warmUpMs),
      coolDown_(options.coolDownMs),
      lampHours_(options.lampHours),
      name_(options.name),
      maker_(options.maker),
      model_(options.model),
      info_(options.info) {}

void PjlinkResponder::SetInfo(std::string maker, std::string model, std::string info) {
  maker_ = std::move(maker);
  model_ = std::move(model);
  info_ = std::move(info);
}

int PjlinkResponder::Power(Clock::time_point now) {
  if ((power_ == kWarmUp || power_ == kCooling) && now >= settles_) {
    power_ = power_ == kWarmUp ? kOn : kStandby;
  }
  return power_;
}

std::string PjlinkResponder::Mute() const {
  if (videoMuted_ && audioMuted_) return "31";
  if (videoMuted_) return "11";
  return audioMuted_ ? "21" : "30";
}

std::optional<std::string> PjlinkResponder::Answer(std::string_view command,
                                                   const PjlinkQuirks& quirks,
                                                   Clock::time_point now) {
  // "%1" and four letters at the least; anything shorter is not addressed to us at all.
  if (command.size() < 6 || command[0] != '%') return std::nullopt;
  const std::string header(command.substr(0, 2));
  const std::string name = UpperCased(command.substr(2, 4));
  std::string_view parameter;
  const bool separated = command.size() > 7 && command[6] == ' ';
  if (separated) parameter = command.substr(7);
  std::string_view reply;
  std::string value;
  if (header != "%1" || !IsPjlinkCommand(name)) {
    reply = kUnknownCommand;
  } else if (quirks.err4) {
    reply = kFailure;
  } else if (!separated) {
    reply = kBadParameter;
  } else {
    value = Reply(name, parameter, quirks, now);
    reply = value;
  }
  return header + name + "=" + std::string(reply);
}

std::string PjlinkResponder::Reply(std::string_view command, std::string_view parameter,
                                   const PjlinkQuirks& quirks, Clock::time_point now) {
  if (quirks.standbyErr3 && command != "POWR" && Power(now) == kStandby) {
    return std::string(kUnavailable);
  }
  if (command == "LAMP" && quirks.noLamp) return std::string(kUnknownCommand);
  if (parameter == "?") {
    auto value = QueryValue(command, quirks, now);
    return value ? *value : std::string(kUnknownCommand);
  }
  if (command == "POWR") return SetPowerTo(parameter, now);
  if (command == "INPT") return SetInput(parameter, now);
  if (command == "AVMT") return SetMute(parameter, quirks.noAudio, now);
  return std::string(kBadParameter);  // the others are queries only
}

std::string PjlinkResponder::SetPowerTo(std::string_view parameter, Clock::time_point now) {
  if (parameter != "0" && parameter != "1") return std::string(kBadParameter);
  const int power = Power(now);
  if (power == kWarmUp || power == kCooling) return std::string(kUnavailable);
  if (parameter == "1" && power == kStandby) {
    power_ = warmUp_.count() > 0 ? kWarmUp : kOn;
    settles_ = now + warmUp_;
  } else if (parameter == "0" && power == kOn) {
    power_ = coolDown_.count() > 0 ? kCooling : kStandby;
    settles_ = now + coolDown_;
  }
  return std::string(kPjlinkOk);
}

std::string PjlinkResponder::SetInput(std::string_view parameter, Clock::time_point now) {
  if (!IsListedInput(parameter)) return std::string(kBadParameter);
  if (Power(now) != kOn) return std::string(kUnavailable);
  input_ = std::string(parameter);
  return std::string(kPjlinkOk);
}

std::string PjlinkResponder::SetMute(std::string_view parameter, bool noAudio,
                                     Clock::time_point now) {
  const bool valid = parameter.size() == 2 && parameter[0] >= '1' && parameter[0] <= '3' &&
                     (parameter[1] == '0' || parameter[1] == '1');
  if (!valid || (noAudio && parameter[0] == '2')) return std::string(kBadParameter);
  if (Power(now) != kOn) return std::string(kUnavailable);
  const bool on = parameter[1] == '1';
  if (parameter[0] != '2') videoMuted_ = on;
  if (parameter[0] != '1' && !noAudio) audioMuted_ = on;
  return std::string(kPjlinkOk);
}

std::optional<std::string> PjlinkResponder::QueryValue(std::string_view command,
                                                       const PjlinkQuirks& quirks,
                                                       Clock::time_point now) {
  if (command == "POWR") return std::to_string(Power(now));
  if (command == "INPT") return input_;
  if (command == "AVMT") return Mute();
  if (command == "ERST") return errorStatus_;
  if (command == "LAMP") return Lamps(now);
  if (command == "INST") return std::string(kPjlinkInputs);
  if (command == "NAME") return name_;
  if (command == "INF1") return maker_;
  if (command == "INF2") return model_;
  if (command == "INFO") return info_;
  if (command == "CLSS") return quirks.classText ? "Class 1" : "1";
  return std::nullopt;
}

// "1200 1": hours and whether the lamp burns, for every lamp; lamps burn while warming up
// and while on.
std::string PjlinkResponder::Lamps(Clock::time_point now) {
  const int power = Power(now);
  const char* lit = power == kOn || power == kWarmUp ? " 1" : " 0";
  std::string lamps;
  for (const int hours : lampHours_) {
    if (!lamps.empty()) lamps += ' ';
    lamps += std::to_string(hours) + lit;
  }
  return lamps;
}

}  // namespace tarnex::sim
