#include "display-sim/program_options.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string_view>

#include "display-sim/command_line_parser.h"
#include "display-sim/option_values.h"
#include "display-sim/pjlink_program_options.h"
#include "display-sim/setting_catalogue.h"
#include "protocol/command_frame.h"

namespace tarnex::sim {
namespace {

constexpr uint16_t kDefaultPort = 9761;

// Settings gathered while reading the arguments, turned into displays at the end.
struct Collected {
  std::vector<std::string> addresses;
  std::set<std::string, std::less<>> served;
  DisplayOptions common{.address = {}, .port = kDefaultPort};
  std::map<std::string, std::vector<std::string>> faultAddresses;  // flag -> addresses
  std::vector<std::pair<std::vector<std::string>, int>> kinds;     // addresses -> kind
  SerialLineOptions serial;
  std::optional<uint16_t> udpPort;
  std::map<std::string, std::string> macs;
  std::vector<std::pair<std::string, std::string>> moves;
};

// "ADDR=VALUE", ADDR a loopback address.
std::pair<std::string, std::string> AddressPair(const std::string& flag, const std::string& text) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos) throw std::invalid_argument(flag + " wants ADDR=VALUE");
  std::string address = text.substr(0, equals);
  CheckLoopback(address);
  return {std::move(address), text.substr(equals + 1)};
}

void AddMac(Collected& collected, const std::string& text) {
  auto [address, mac] = AddressPair("--mac", text);
  const bool hex =
      mac.size() == 12 && mac.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  if (!hex) throw std::invalid_argument("--mac wants twelve hexadecimal digits, not '" + mac + "'");
  for (char& c : mac) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  collected.macs[address] = mac;
}

void AddMove(Collected& collected, const std::string& text) {
  auto [address, destination] = AddressPair("--move", text);
  CheckLoopback(destination);
  collected.moves.emplace_back(std::move(address), std::move(destination));
}

// After the displays are known: every address named is served, and a display moves to an
// address nobody serves.
void CheckDiscovery(const Collected& collected) {
  if (collected.udpPort) {
    for (const auto& [address, mac] : collected.macs) {
      if (!collected.served.contains(address)) {
        throw std::invalid_argument("--mac names " + address + ", which --tcp does not serve");
      }
    }
    for (const auto& [address, destination] : collected.moves) {
      if (!collected.served.contains(address) || collected.served.contains(destination)) {
        throw std::invalid_argument("--move " + address + "=" + destination +
                                    " wants a served address and one that is not");
      }
    }
  } else if (!collected.macs.empty() || !collected.moves.empty()) {
    throw std::invalid_argument("--mac and --move need --udp");
  }
}

// Set numbers as the console's tree shows them (decimal), kept as the set IDs they become.
void AddSetIds(Collected& collected, const std::string& list) {
  for (const std::string& number : SplitList(list)) {
    const int value = ParseNumber("--set-ids", number, 1, 99);
    const std::string setId = *protocol::DeriveSetId(std::to_string(value));
    auto& ids = collected.serial.setIds;
    if (std::find(ids.begin(), ids.end(), setId) != ids.end()) {
      throw std::invalid_argument("set ID given twice: " + number);
    }
    ids.push_back(setId);
  }
}

std::optional<SerialLineOptions> BuildSerialLine(const Collected& collected) {
  SerialLineOptions serial = collected.serial;
  const bool wanted = !serial.linkPath.empty();
  if (!wanted && (!serial.setIds.empty() || serial.replyOwnSetId)) {
    throw std::invalid_argument("--set-ids and --reply-own-set-id need --serial LINK");
  }
  if (!wanted) return std::nullopt;
  if (serial.setIds.empty()) throw std::invalid_argument("--serial wants --set-ids N[,N...]");
  serial.splitReplies = collected.common.splitReplies;
  serial.delayMs = collected.common.delayMs;
  return serial;
}

void AddAddresses(Collected& collected, const std::string& list) {
  for (std::string& address : AddressList(list)) {
    if (!collected.served.insert(address).second) {
      throw std::invalid_argument("address given twice: " + address);
    }
    collected.addresses.push_back(std::move(address));
  }
}

// "kd=01": a read-write setting without a table and a value it accepts, as the display would
// store it had it been sent "kd 01 01\n".
void AddSetting(Collected& collected, const std::string& text) {
  const size_t equals = text.find('=');
  const std::string letters = text.substr(0, equals);
  const SettingInfo* setting = FindSetting(letters);
  if (setting == nullptr || setting->access != Access::kReadWrite || setting->tableSize != 0 ||
      setting->valueFields != 1) {
    throw std::invalid_argument("--setting wants the letters of a read-write setting, not '" +
                                text + "'");
  }
  const std::string data = equals == std::string::npos ? std::string() : text.substr(equals + 1);
  const std::optional<int> value = ParseHexField(data);
  if (!value || !AcceptsValue(*setting, HexByte(*value))) {
    throw std::invalid_argument("--setting " + letters + " does not accept '" + data + "'");
  }
  collected.common.settings.emplace_back(letters, HexByte(*value));
}

// "3" for every display, "3:ADDR[,ADDR...]" for the displays named.
void AddKind(Collected& collected, const std::string& text) {
  const size_t colon = text.find(':');
  const int kind = ParseNumber("--kind", text.substr(0, colon), 0, 255);
  if (colon == std::string::npos) {
    collected.common.kind = kind;
  } else {
    collected.kinds.emplace_back(AddressList(std::string_view(text).substr(colon + 1)), kind);
  }
}

using FlagAction = std::function<void(Collected&, const std::string& value)>;

struct Flag {
  bool takesValue;
  FlagAction action;
};

const std::map<std::string, Flag, std::less<>>& Flags() {
  static const std::map<std::string, Flag, std::less<>> flags = {
      {"--tcp", {true, AddAddresses}},
      {"--port",
       {true,
        [](Collected& c, const std::string& v) {
          c.common.port = static_cast<uint16_t>(ParseNumber("--port", v, 1, 65535));
        }}},
      {"--kind", {true, AddKind}},
      {"--lamp-hours",
       {true,
        [](Collected& c, const std::string& v) {
          c.common.lampHours = ParseNumber("--lamp-hours", v, 0, 65535);
        }}},
      {"--lamp-hours2",
       {true,
        [](Collected& c, const std::string& v) {
          c.common.lampHours2 = ParseNumber("--lamp-hours2", v, 0, 65535);
        }}},
      {"--delay-ms",
       {true,
        [](Collected& c, const std::string& v) {
          c.common.delayMs = ParseNumber("--delay-ms", v, 0, 60000);
        }}},
      {"--close-after",
       {true,
        [](Collected& c, const std::string& v) {
          c.common.closeAfter = ParseNumber("--close-after", v, 0, 1000000);
        }}},
      {"--reset-after",
       {true,
        [](Collected& c, const std::string& v) {
          c.common.resetAfter = ParseNumber("--reset-after", v, 0, 1000000);
        }}},
      {"--no-signal", {false, [](Collected& c, const std::string&) { c.common.signal = false; }}},
      {"--fan-fail", {false, [](Collected& c, const std::string&) { c.common.fanOk = false; }}},
      {"--split", {false, [](Collected& c, const std::string&) { c.common.splitReplies = true; }}},
      {"--serial",
       {true,
        [](Collected& c, const std::string& v) {
          if (v.empty()) throw std::invalid_argument("--serial wants a path");
          c.serial.linkPath = v;
        }}},
      {"--set-ids", {true, AddSetIds}},
      {"--mac", {true, AddMac}},
      {"--move", {true, AddMove}},
      {"--setting", {true, AddSetting}},
      {"--reply-own-set-id",
       {false, [](Collected& c, const std::string&) { c.serial.replyOwnSetId = true; }}},
  };
  return flags;
}

// Without addresses these name every display.
bool TakesOptionalAddresses(std::string_view flag) {
  return flag == "--no-signal" || flag == "--fan-fail";
}

bool IsFaultFlag(std::string_view flag) {
  return flag == "--refuse" || flag == "--unreachable" || flag == "--silent" ||
         flag == "--garbage" || flag == "--odd-length" || flag == "--trickle" || flag == "--twice";
}

void ApplyFault(DisplayOptions& display, std::string_view flag) {
  if (flag == "--refuse") display.refuse = true;
  if (flag == "--unreachable") display.unreachable = true;
  if (flag == "--silent") display.silent = true;
  if (flag == "--garbage") display.garbage = true;
  if (flag == "--odd-length") display.oddLength = true;
  if (flag == "--trickle") display.trickle = true;
  if (flag == "--twice") display.twice = true;
  if (flag == "--no-signal") display.signal = false;
  if (flag == "--fan-fail") display.fanOk = false;
}

size_t PositionOf(const std::map<std::string, size_t, std::less<>>& positions,
                  const std::string& flag, const std::string& address) {
  const auto found = positions.find(address);
  if (found == positions.end()) {
    throw std::invalid_argument(flag + " names " + address + ", which --tcp does not serve");
  }
  return found->second;
}

std::vector<DisplayOptions> BuildDisplays(const Collected& collected,
                                          const std::set<std::string, std::less<>>& pjlinkServed) {
  std::vector<DisplayOptions> displays;
  std::map<std::string, size_t, std::less<>> positions;
  for (const std::string& address : collected.addresses) {
    DisplayOptions display = collected.common;
    display.address = address;
    positions.emplace(address, displays.size());
    displays.push_back(display);
  }
  for (const auto& [flag, addresses] : collected.faultAddresses) {
    for (const std::string& address : addresses) {
      // A PJLink display at an address --tcp does not serve takes the fault alone.
      if (!positions.contains(address) && PjlinkTakesFault(flag) && pjlinkServed.contains(address))
        continue;
      ApplyFault(displays[PositionOf(positions, flag, address)], flag);
    }
  }
  for (const auto& [addresses, kind] : collected.kinds) {
    for (const std::string& address : addresses) {
      displays[PositionOf(positions, "--kind", address)].kind = kind;
    }
  }
  for (const DisplayOptions& display : displays) {
    if (display.refuse && display.unreachable) {
      throw std::invalid_argument("--refuse and --unreachable both name " + display.address);
    }
  }
  return displays;
}

}  // namespace

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
  ProgramOptions options;
  Collected collected;
  PjlinkCollected pjlink;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    if (flag == "--help" || flag == "-h") {
      options.help = true;
      return options;
    }
    if (TakePjlinkFlag(args, i, pjlink)) continue;
    if (flag == "--udp" || flag.starts_with("--udp=")) {
      collected.udpPort =
          flag == "--udp" ? kDefaultPort
                          : static_cast<uint16_t>(ParseNumber("--udp", flag.substr(6), 1, 65535));
      continue;
    }
    if (flag == "--flap") {
      if (i + 1 >= args.size()) throw std::invalid_argument("--flap wants a value");
      options.flapSeconds = ParseNumber("--flap", args[++i], 1, 86400);
      continue;
    }
    if (TakesOptionalAddresses(flag) && i + 1 < args.size() && !args[i + 1].starts_with("--")) {
      auto& list = collected.faultAddresses[flag];
      for (std::string& address : AddressList(args[++i])) list.push_back(std::move(address));
      continue;
    }
    const auto known = Flags().find(flag);
    const bool takesValue =
        known != Flags().end() ? known->second.takesValue : IsFaultFlag(flag) || flag == "--log";
    if (known == Flags().end() && !takesValue) throw std::invalid_argument("unknown flag " + flag);
    if (takesValue && i + 1 >= args.size()) throw std::invalid_argument(flag + " wants a value");
    const std::string value = takesValue ? args[++i] : std::string();
    if (flag == "--log") {
      options.logPath = value;
    } else if (IsFaultFlag(flag)) {
      auto& list = collected.faultAddresses[flag];
      for (std::string& address : AddressList(value)) list.push_back(std::move(address));
    } else {
      known->second.action(collected, value);
    }
  }
  options.serial = BuildSerialLine(collected);
  if (collected.addresses.empty() && pjlink.addresses.empty() && !options.serial) {
    throw std::invalid_argument(
        "--tcp ADDR[,ADDR...], --pjlink ADDR[,ADDR...] or --serial LINK is required");
  }
  options.displays = BuildDisplays(collected, PjlinkServed(pjlink));
  options.pjlinks = BuildPjlinkDisplays(pjlink, collected.faultAddresses, collected.common);
  CheckDiscovery(collected);
  options.udpPort = collected.udpPort;
  options.macs = collected.macs;
  options.moves = collected.moves;
  return options;
}

std::string UsageText() {
  return R"(Usage: display-sim [--tcp ADDR[,ADDR...]] [--pjlink ADDR[,ADDR...]]
                   [--serial LINK --set-ids N[,N...]] [options]

Simulated displays answering the control protocol, one per loopback address (127.0.0.0/8
only), and displays sharing one serial line on a pseudo-terminal. Serves until SIGINT or
SIGTERM; prints one "display-sim: ready ..." line when listening. SIGUSR1 makes the displays
started --unreachable answer from then on and prints "display-sim: reachable N" once done;
SIGUSR2 applies --move and prints "display-sim: moved N".
Every ADDR below may also be a range FIRST-LAST: 127.0.1.1-127.0.4.232 is 1000 addresses.

  --tcp ADDR[,ADDR...]   serve a display on each address (repeatable)
  --serial LINK          open a pseudo-terminal and make LINK a symbolic link to it (a stale
                         link is replaced, and the link removed on exit)
  --set-ids N[,N...]     the displays on the serial line, by set number 1..99 (5 is set ID
                         05, 15 is 0f); commands to other set IDs and to 00 get no answer
  --reply-own-set-id     serial displays answer with their own set ID instead of 01
  --port N               TCP port of every display (default 9761)
  --log FILE             append one line per command received: ADDRESS<TAB>COMMAND, the line
                         feed written as \n; on the serial line ADDRESS is serial:<set ID>
  --udp[=PORT]           the TCP displays answer the search datagram "SEARCHQXMNT" heard on
                         the wildcard address at PORT (default 9761), each from its own
                         address, spread over 100 ms; every datagram is logged ("udp ...")
  --mac ADDR=MAC         the MAC that ADDR answers with (twelve hex digits); by default 0254
                         followed by the address's four octets in hex
  --move ADDR=NEW        on SIGUSR2 the display at ADDR moves to NEW: ADDR refuses
                         connects, NEW serves the display and answers searches with its MAC
For every display:
  --kind N[:ADDR,...]    answer to the display kind query (default 2); with addresses,
                         only those displays answer N
  --no-signal [ADDR,...] report no signal (every display, or those named)
  --fan-fail [ADDR,...]  report an abnormal fan (every display, or those named)
  --lamp-hours N         lamp time 1 in hours (default 1200)
  --lamp-hours2 N        lamp time 2 in hours (default 800)
  --delay-ms N           answer every command N ms late (serial line too)
  --split                write every reply in two or three pieces, 20 ms apart (serial too)
  --close-after N        close each connection after its N-th command (0 = never)
  --reset-after N        reset each connection on its N-th command, unanswered (0 = never)
  --setting XX=HH        start with setting XX at the value HH, as "XX 01 HH" would set it
                         (repeatable; e.g. --setting kd=01 starts with the screen muted)
For the displays named:
  --refuse ADDR[,ADDR]   do not listen: connects are refused
  --unreachable ADDR[,..] listen but never accept, with the accept queue full: connects
                         time out as with a display that is off the network
  --silent ADDR[,ADDR]   accept and read, never answer
  --garbage ADDR[,ADDR]  answer bytes that are no reply, ending in "x"
  --odd-length ADDR[,..] answer with an odd number of data characters
  --trickle ADDR[,ADDR]  write each reply a byte at a time, 80 ms apart
  --twice ADDR[,ADDR]    write each reply twice
  --flap SECONDS         every TCP display answers for half of each period of SECONDS,
                         then closes each connection after 3 commands for a quarter, then
                         refuses connects for the last quarter; the periods are staggered
)" + PjlinkUsageText() +
         "  --help                 this text\n";
}

}  // namespace tarnex::sim
