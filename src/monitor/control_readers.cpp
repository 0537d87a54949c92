#include "monitor/control_readers.h"

#include <chrono>
#include <span>

#include "monitor/control_tables.h"
#include "monitor/display_kind.h"
#include "monitor/page_reader.h"
#include "monitor/pjlink_readers.h"
#include "monitor/progress_popup.h"
#include "monitor/refresh_steps.h"
#include "monitor/shared_queries.h"
#include "protocol/command_catalogue.h"

namespace tarnex {
namespace {

constexpr PageReader kMuteReader{protocol::query::kScreenMute, control::kMuteReplies};
constexpr PageReader kMonitorOutReader{protocol::query::kRgbMonitorOut,
                                       control::kMonitorOutReplies};
}  // namespace

int ReadControlInput(const ReadContext& context, std::optional<int>* input, bool shortSerialWait) {
  const InputCheck check = AskInput(context, true, shortSerialWait);
  if (!check.Answered()) return 0;
  const auto& table = control::UsesInputListB(KnownKind(context))
                          ? std::span<const ReplyPosition>(control::kInputRepliesKind1)
                          : std::span<const ReplyPosition>(control::kInputRepliesOther);
  *input = MatchPosition(check.reply, table);
  return 1;
}

// A failed check changes no icon here: the input reader has already told the operator.
ControlReadings ReadControlPage(const ReadContext& context, bool onTop) {
  ControlReadings readings;
  if (context.Cancelled()) {
    readings.cancelled = true;
    return readings;
  }
  if (ReadsPjlinkDisplay(context)) return ReadPjlinkControlPage(context, onTop);
  ProgressPopup popup(context.core->Ui());
  if (onTop) {
    readings.checked = true;
    readings.answered = ReadControlInput(context, &readings.input, true) == 1;
  }
  readings.cancelled = context.Cancelled();
  if (!readings.answered || readings.cancelled) return readings;
  MarkCheckPassed(context);
  popup.SetPos(25);
  readings.monitorOut = kMonitorOutReader.Read(context);
  popup.SetPos(50);
  readings.mute = kMuteReader.Read(context);
  popup.SetPos(75);
  popup.SetPos(100);
  readings.cancelled = context.Cancelled();
  return readings;
}

}  // namespace tarnex
