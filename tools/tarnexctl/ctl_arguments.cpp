#include "ctl_arguments.h"

#include <charconv>

namespace tarnex::ctl {
namespace {

using Verb = ScriptRequest::Verb;

struct Reader {
  const std::vector<std::string>& words;
  size_t next = 0;
  bool More() const { return next < words.size(); }
  const std::string& Peek() const { return words[next]; }
  std::string Take() { return words[next++]; }
};

bool ReadOnOff(Reader& reader, bool& on) {
  if (!reader.More()) return false;
  const std::string word = reader.Take();
  if (word != "on" && word != "off") return false;
  on = word == "on";
  return true;
}

std::string ReadTimeout(const std::string& text, int& seconds) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1 ||
      value > kMaxScriptTimeout)
    return "--timeout takes 1 to 3600 seconds, not \"" + text + "\"";
  seconds = value;
  return {};
}

// The options before the verb.
std::string ReadOptions(Reader& reader, Arguments& out) {
  while (reader.More() && reader.Peek().starts_with("--")) {
    const std::string option = reader.Take();
    if (option == "--json") {
      out.json = true;
    } else if (option == "--help") {
      out.action = Arguments::Action::kHelp;
    } else if (option == "--version") {
      out.action = Arguments::Action::kVersion;
    } else if (option == "--timeout" || option == "--config") {
      if (!reader.More()) return option + " needs a value";
      const std::string value = reader.Take();
      if (option == "--config") {
        out.configFolder = value;
      } else if (std::string error = ReadTimeout(value, out.request.timeoutSeconds);
                 !error.empty()) {
        return error;
      }
    } else {
      return "unknown option " + option;
    }
  }
  return {};
}

// The verb's own words, up to its targets.
std::string ReadVerbWords(Reader& reader, ScriptRequest& request) {
  switch (request.verb) {
    case Verb::kPower:
      if (!ReadOnOff(reader, request.on)) return "power takes on or off";
      if (reader.More() && reader.Peek() == "--wait") {
        reader.Take();
        request.wait = true;
      }
      break;
    case Verb::kMute:
      if (!ReadOnOff(reader, request.on)) return "mute takes on or off";
      break;
    case Verb::kInput:
      if (!reader.More()) return "input takes a name";
      request.input = reader.Take();
      break;
    case Verb::kMessage:
      if (!reader.More()) return "message takes a text or --clear";
      if (reader.Peek() == "--clear") {
        reader.Take();
        request.clear = true;
      } else {
        request.text = reader.Take();
      }
      break;
    case Verb::kBackup:
    case Verb::kRestore:
      if (!reader.More()) return std::string(VerbName(request.verb)) + " takes a file";
      request.file = reader.Take();
      break;
    case Verb::kSend:
      if (!reader.More()) return "send takes a command";
      request.command = reader.Take();
      break;
    default:
      break;
  }
  return {};
}

}  // namespace

Arguments ReadArguments(const std::vector<std::string>& arguments) {
  Arguments out;
  Reader reader{arguments};
  const auto fail = [&out](std::string error) {
    out.action = Arguments::Action::kUsageError;
    out.error = std::move(error);
    return out;
  };
  if (std::string error = ReadOptions(reader, out); !error.empty()) return fail(error);
  if (out.action != Arguments::Action::kRun) return out;
  if (!reader.More()) return fail("no command given");
  const std::string verb = reader.Take();
  const auto known = VerbNamed(verb);
  if (!known) return fail("unknown command \"" + verb + "\"");
  out.request.verb = *known;
  if (*known == Verb::kSchedule) {
    // The schedule's own words, options included, follow it.
    const std::vector<std::string> rest(arguments.begin() + static_cast<long>(reader.next),
                                        arguments.end());
    if (std::string error = ScheduleCommandFromWords(rest, out.request.schedule); !error.empty())
      return fail(error);
    if (std::string error = CheckRequest(out.request); !error.empty()) return fail(error);
    return out;
  }
  if (std::string error = ReadVerbWords(reader, out.request); !error.empty()) return fail(error);
  while (reader.More()) {
    if (reader.Peek().starts_with("--"))
      return fail("options go before the command: " + reader.Peek());
    out.request.targets.push_back(reader.Take());
  }
  if (out.request.verb == Verb::kList && !out.request.targets.empty())
    return fail("list takes no target");
  if (out.request.verb == Verb::kRestore) {
    // The file is read later; the check needs only to know there will be settings.
    out.request.values.emplace();
  }
  if (std::string error = CheckRequest(out.request); !error.empty()) return fail(error);
  if (out.request.verb == Verb::kRestore) out.request.values.reset();
  return out;
}

std::string UsageText() {
  return "Usage: tarnexctl [--json] [--timeout S] [--config DIR] COMMAND [ARGS] TARGET...\n"
         "\n"
         "Commands:\n"
         "  list                          the stored displays and their groups\n"
         "  status TARGET...              power, input and mute of each display\n"
         "  power on|off [--wait] TARGET...\n"
         "  input NAME TARGET...          av, component1, component2, rgb1, rgb2,\n"
         "                                hdmi1, hdmi2, hdmi3\n"
         "  mute on|off TARGET...\n"
         "  message TEXT TARGET...        message --clear TARGET...\n"
         "  backup FILE DISPLAY           restore FILE TARGET...\n"
         "  send COMMAND TARGET...        one catalogue command, e.g. \"kd 01 01\"\n"
         "  schedule list|next|log|run-due\n"
         "  schedule add NAME --target T --action A (--at HH:MM --days mon,tue,... |\n"
         "               --on YYYY-MM-DD [--at HH:MM]) [--from DATE] [--to DATE]\n"
         "               [--enforce] [--disabled]\n"
         "  schedule remove|enable|disable NAME\n"
         "\n"
         "Targets: display:ADDR (display:10.0.0.[20-29]), name:LABEL, group:NAME, set:N,\n"
         "or a bare word that names exactly one of them.\n"
         "\n"
         "Options:\n"
         "  --json         print one JSON document\n"
         "  --timeout S    give up after S seconds (default 30)\n"
         "  --config DIR   the configuration folder\n"
         "  --help         show this help\n"
         "  --version      show the version\n"
         "\n"
         "Exit status: 0 done, 1 internal or I/O error, 2 usage, 3 time-out, 4 a target\n"
         "failed, 8 the console is busy or not logged in, 10 a target not found.\n";
}

std::string VersionText() {
  return "tarnexctl " TARNEX_VERSION "\n";
}

}  // namespace tarnex::ctl
