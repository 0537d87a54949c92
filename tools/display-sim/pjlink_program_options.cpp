#include "display-sim/pjlink_program_options.h"

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "display-sim/option_values.h"
#include "display-sim/pjlink_display.h"

namespace tarnex::sim {
namespace {

using Setter = std::function<void(PjlinkOptions&, const std::string&)>;

// Printable ASCII of 1..`most` characters, as a display keeps a password or a name.
std::string Printable(const std::string& flag, const std::string& text, size_t most) {
  const bool printable = std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f;
  });
  if (text.empty() || text.size() > most || !printable) {
    throw std::invalid_argument(flag + " wants 1 to " + std::to_string(most) +
                                " printable characters");
  }
  return text;
}

const std::map<std::string, Setter, std::less<>>& ValueFlags() {
  static const std::map<std::string, Setter, std::less<>> flags = {
      {"--pjlink-port",
       [](PjlinkOptions& o, const std::string& v) {
         o.port = static_cast<uint16_t>(ParseNumber("--pjlink-port", v, 1, 65535));
       }},
      {"--pjlink-password",
       [](PjlinkOptions& o, const std::string& v) {
         o.password = Printable("--pjlink-password", v, 32);
       }},
      {"--pjlink-random",
       [](PjlinkOptions& o, const std::string& v) {
         if (!IsPjlinkRandom(v)) {
           throw std::invalid_argument("--pjlink-random wants eight hex digits, not '" + v + "'");
         }
         o.random = v;
       }},
      {"--pjlink-warm-up-ms",
       [](PjlinkOptions& o, const std::string& v) {
         o.warmUpMs = ParseNumber("--pjlink-warm-up-ms", v, 0, 600000);
       }},
      {"--pjlink-cool-down-ms",
       [](PjlinkOptions& o, const std::string& v) {
         o.coolDownMs = ParseNumber("--pjlink-cool-down-ms", v, 0, 600000);
       }},
      {"--pjlink-idle-close",
       [](PjlinkOptions& o, const std::string& v) {
         o.idleCloseSeconds = ParseNumber("--pjlink-idle-close", v, 0, 86400);
       }},
      {"--pjlink-name",
       [](PjlinkOptions& o, const std::string& v) { o.name = Printable("--pjlink-name", v, 64); }},
  };
  return flags;
}

// Switches that name the displays they apply to.
const std::map<std::string, bool PjlinkOptions::*, std::less<>>& SwitchFlags() {
  static const std::map<std::string, bool PjlinkOptions::*, std::less<>> flags = {
      {"--pjlink-lower-case", &PjlinkOptions::lowerCase},
      {"--pjlink-leading-nul", &PjlinkOptions::leadingNuls},
      {"--pjlink-class-text", &PjlinkOptions::classText},
      {"--pjlink-standby-err3", &PjlinkOptions::standbyErr3},
      {"--pjlink-no-lamp", &PjlinkOptions::noLamp},
      {"--pjlink-no-audio", &PjlinkOptions::noAudio},
      {"--pjlink-err4", &PjlinkOptions::err4},
      {"--pjlink-close-each", &PjlinkOptions::closeEachCommand},
  };
  return flags;
}

const std::map<std::string, bool PjlinkOptions::*, std::less<>>& Faults() {
  static const std::map<std::string, bool PjlinkOptions::*, std::less<>> faults = {
      {"--refuse", &PjlinkOptions::refuse},
      {"--unreachable", &PjlinkOptions::unreachable},
      {"--silent", &PjlinkOptions::silent},
      {"--garbage", &PjlinkOptions::garbage},
  };
  return faults;
}

}  // namespace

bool TakePjlinkFlag(const std::vector<std::string>& args, size_t& i, PjlinkCollected& collected) {
  const std::string& flag = args[i];
  const auto setter = ValueFlags().find(flag);
  const bool known =
      flag == "--pjlink" || setter != ValueFlags().end() || SwitchFlags().contains(flag);
  if (!known) return false;
  if (i + 1 >= args.size()) throw std::invalid_argument(flag + " wants a value");
  const std::string& value = args[++i];
  if (setter != ValueFlags().end()) {
    setter->second(collected.common, value);
    return true;
  }
  auto& list = flag == "--pjlink" ? collected.addresses : collected.switchAddresses[flag];
  for (std::string& address : AddressList(value)) list.push_back(std::move(address));
  return true;
}

bool PjlinkTakesFault(std::string_view flag) {
  return Faults().contains(flag);
}

std::set<std::string, std::less<>> PjlinkServed(const PjlinkCollected& collected) {
  return {collected.addresses.begin(), collected.addresses.end()};
}

std::vector<PjlinkOptions> BuildPjlinkDisplays(
    const PjlinkCollected& collected, const std::map<std::string, std::vector<std::string>>& faults,
    const DisplayOptions& common) {
  std::vector<PjlinkOptions> displays;
  std::map<std::string, size_t, std::less<>> positions;
  for (const std::string& address : collected.addresses) {
    PjlinkOptions display = collected.common;
    display.address = address;
    display.delayMs = common.delayMs;
    display.splitReplies = common.splitReplies;
    if (!positions.emplace(address, displays.size()).second) {
      throw std::invalid_argument("--pjlink names " + address + " twice");
    }
    displays.push_back(display);
  }
  for (const auto& [flag, addresses] : collected.switchAddresses) {
    for (const std::string& address : addresses) {
      const auto found = positions.find(address);
      if (found == positions.end()) {
        throw std::invalid_argument(flag + " names " + address + ", which --pjlink does not serve");
      }
      displays[found->second].*SwitchFlags().at(flag) = true;
    }
  }
  for (const auto& [flag, addresses] : faults) {
    if (!PjlinkTakesFault(flag)) continue;
    for (const std::string& address : addresses) {
      const auto found = positions.find(address);
      if (found != positions.end()) displays[found->second].*Faults().at(flag) = true;
    }
  }
  for (const PjlinkOptions& display : displays) {
    if (display.refuse && display.unreachable) {
      throw std::invalid_argument("--refuse and --unreachable both name " + display.address);
    }
  }
  return displays;
}

std::string PjlinkUsageText() {
  return R"(PJLink class 1 displays (--delay-ms, --split, --refuse, --unreachable, --silent and
--garbage apply to them as well):
  --pjlink ADDR[,ADDR...] serve a PJLink class 1 display on each address (repeatable)
  --pjlink-port N        their TCP port (default 4352)
  --pjlink-password PW   greet "PJLINK 1 <random>" and want the first command prefixed
                         with MD5(random + PW) in hex; a wrong one gets "PJLINK ERRA"
  --pjlink-random HEX    the random number of every greeting (eight hex digits); by
                         default one is drawn for every connection
  --pjlink-warm-up-ms N  warm-up after POWR 1 (default 3000; 0 = on at once)
  --pjlink-cool-down-ms N cooling after POWR 0 (default 3000; 0 = standby at once)
  --pjlink-idle-close S  close a connection that sent nothing for S seconds (default
                         30; 0 = never)
  --pjlink-name NAME     the answer to NAME (default display-sim)
For the PJLink displays named:
  --pjlink-lower-case ADDR[,..]   reply in lower case
  --pjlink-leading-nul ADDR[,..]  write two NUL bytes before the greeting and every reply
  --pjlink-class-text ADDR[,..]   answer CLSS with "Class 1" rather than "1"
  --pjlink-standby-err3 ADDR[,..] in standby answer everything but POWR with ERR3
  --pjlink-no-lamp ADDR[,..]      answer LAMP with ERR1
  --pjlink-no-audio ADDR[,..]     answer AVMT 20 and 21 with ERR2
  --pjlink-err4 ADDR[,..]         answer every command with ERR4
  --pjlink-close-each ADDR[,..]   close the connection after every reply
)";
}

}  // namespace tarnex::sim
