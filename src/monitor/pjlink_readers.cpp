#include "monitor/pjlink_readers.h"

#include <algorithm>
#include <array>

#include "console/command_transaction.h"
#include "monitor/progress_popup.h"
#include "monitor/refresh_steps.h"
#include "monitor/status_tables.h"
#include "protocol/pjlink_codec.h"
#include "protocol/pjlink_map.h"

namespace tarnex {
namespace {

constexpr int kMutePositionOff = 0;
constexpr int kMutePositionOn = 1;

PjlinkAnswer Ask(const ReadContext& context, std::string_view command) {
  if (context.Cancelled()) return {};
  const int cancelFd = context.token ? context.token->Fd() : context.core->StopFd();
  return AskPjlink(*context.core, context.target.display, command, cancelFd);
}

std::string Busy() {
  return std::string(kPjlinkBusyText);
}

// The box's text: the value as `decode` reads it, the busy mark, or nothing known.
template <typename Decode>
std::optional<std::string> Shown(const PjlinkAnswer& answer, Decode decode) {
  if (answer.busy) return Busy();
  if (!answer.value) return std::nullopt;
  return decode(*answer.value);
}

// A PJLink box shows what the display answered now: a field it did not answer is emptied.
std::string Field(const PjlinkAnswer& answer) {
  return answer.busy ? Busy() : answer.value.value_or(std::string());
}

std::optional<FanReading> FanOf(const PjlinkAnswer& answer) {
  if (answer.busy) return FanReading{Busy(), true};
  if (!answer.value) return std::nullopt;
  const auto status = pjlink::ErrorStatus(*answer.value);
  if (!status) return FanReading{std::string(status::kFanNg), true};
  const bool normal = (*status)[0] == 0;
  return FanReading{std::string(normal ? status::kFanOk : status::kFanNg), normal};
}

bool LampUnknown(const ReadContext& context) {
  auto state = context.core->Lock();
  const DisplayFacts* facts = context.Facts(state);
  return facts != nullptr && facts->pjlink.undefined.count("LAMP") > 0;
}

void ReadLamps(const ReadContext& context, InformationReadings& readings) {
  const bool unknown = LampUnknown(context);
  const PjlinkAnswer lamps = unknown ? PjlinkAnswer{} : Ask(context, "LAMP");
  if (unknown || lamps.undefined) {
    readings.lampTime1 = readings.lampTime2 = std::string(kNoLampText);
  } else if (lamps.busy) {
    readings.lampTime1 = readings.lampTime2 = Busy();
  } else if (lamps.value) {
    const auto hours = pjlink::LampsOf(*lamps.value);
    readings.lampTime1 = hours.empty() ? std::string() : std::to_string(hours[0].first);
    readings.lampTime2 = hours.size() < 2 ? std::string() : std::to_string(hours[1].first);
  }
}

PjlinkTexts ReadOwnTexts(const ReadContext& context) {
  PjlinkTexts texts;
  texts.name = Field(Ask(context, "NAME"));
  texts.manufacturer = Field(Ask(context, "INF1"));
  texts.product = Field(Ask(context, "INF2"));
  const PjlinkAnswer linkClass = Ask(context, "CLSS");
  const auto number = linkClass.value ? pjlink::ClassOf(*linkClass.value) : std::nullopt;
  texts.linkClass = number ? std::to_string(*number) : Field(linkClass);
  return texts;
}

}  // namespace

PjlinkAnswer AskPjlink(CConsoleCore& core, DisplayId id, std::string_view command, int cancelFd) {
  const SendOutcome outcome =
      core.Transaction().QueryOnce(id, pjlink::Frame(command, "?"), cancelFd);
  PjlinkAnswer answer;
  answer.busy = outcome.answer == LinkAnswer::kBusy;
  answer.undefined = outcome.answer == LinkAnswer::kUndefined;
  answer.answered = outcome.reply.has_value() ||
                    (Present(outcome.answer) && outcome.answer != LinkAnswer::kNotSent);
  answer.value = outcome.reply;
  return answer;
}

SelectionLinks LinksOfSelection(CConsoleCore& core) {
  SelectionLinks links;
  auto state = core.Lock();
  const Selection& selected = state->Selected();
  std::vector<DisplayId> ids;
  if (selected.kind() == Selection::Kind::kDisplay) ids.push_back(selected.display());
  if (selected.kind() == Selection::Kind::kGroup) ids = selected.PresentMembers();
  for (const DisplayId id : ids) {
    (state->KindOf(id) == LinkKind::kPjlink ? links.pjlink : links.native) = true;
  }
  return links;
}

bool ReadsPjlinkDisplay(const ReadContext& context) {
  if (context.target.route != CommandTarget::Route::kDisplay) return false;
  return context.core->Lock()->KindOf(context.target.display) == LinkKind::kPjlink;
}

// A display that does not answer its power query is not asked the rest: each would wait its
// receive time-out in turn.
void ReadPjlinkInformation(const ReadContext& context, InformationReadings& readings) {
  ProgressPopup popup(context.core->Ui());
  const PjlinkAnswer power = Ask(context, "POWR");
  readings.probeAnswered = power.answered;
  if (!power.answered) return;
  readings.power = Shown(power, [](const std::string& value) {
    const auto word = pjlink::PowerWord(value);
    return word ? std::optional<std::string>(*word) : std::nullopt;
  });
  readings.input = Shown(Ask(context, "INPT"), [](const std::string& value) {
    std::string name = pjlink::InputName(value);
    return name.empty() ? std::optional<std::string>(value) : std::optional<std::string>(name);
  });
  popup.SetPos(30);
  readings.fan = FanOf(Ask(context, "ERST"));
  if (readings.fan && !readings.fan->normal) ReportFanFault(context);
  ReadLamps(context, readings);
  popup.SetPos(60);
  readings.pjlink = ReadOwnTexts(context);
  popup.SetPos(100);
}

ControlReadings ReadPjlinkControlPage(const ReadContext& context, bool onTop) {
  ControlReadings readings;
  readings.cancelled = context.Cancelled();
  if (readings.cancelled) return readings;
  ProgressPopup popup(context.core->Ui());
  if (onTop) {
    readings.checked = true;
    const PjlinkAnswer inputs = Ask(context, "INST");
    const PjlinkAnswer input = inputs.answered ? Ask(context, "INPT") : PjlinkAnswer{};
    readings.answered = inputs.answered;
    if (inputs.value) readings.inputCodes = pjlink::InputsOf(*inputs.value);
    if (readings.inputCodes && input.value) {
      const auto& codes = *readings.inputCodes;
      const auto found = std::find(codes.begin(), codes.end(), *input.value);
      if (found != codes.end()) readings.input = static_cast<int>(found - codes.begin());
    }
  }
  readings.cancelled = context.Cancelled();
  if (!readings.answered || readings.cancelled) return readings;
  MarkCheckPassed(context);
  popup.SetPos(50);
  const PjlinkAnswer mute = Ask(context, "AVMT");
  if (const auto muted = mute.value ? pjlink::ScreenMuted(*mute.value) : std::nullopt) {
    readings.mute = *muted ? kMutePositionOn : kMutePositionOff;
  }
  popup.SetPos(100);
  readings.cancelled = context.Cancelled();
  return readings;
}

std::string PjlinkInputCommand(std::string_view code) {
  const std::string_view native = pjlink::NativeInputOf(code);
  if (native.empty()) return pjlink::Frame("INPT", code);
  return "xb 01 " + std::string(native) + "\n";
}

}  // namespace tarnex
