#include "monitor/information_reader.h"

#include "monitor/display_kind.h"
#include "monitor/pjlink_readers.h"
#include "monitor/progress_popup.h"
#include "monitor/refresh_steps.h"
#include "platform/trace.h"
#include "protocol/command_catalogue.h"

namespace tarnex {
namespace {

std::optional<std::string> Ask(const ReadContext& context, std::string_view query) {
  return context.Send(query).reply;
}

void ReadLampTime(const ReadContext& context, InformationReadings& readings) {
  const auto high1 = Ask(context, protocol::query::kLampTime1High);
  const auto low1 = Ask(context, protocol::query::kLampTime1Low);
  readings.lampTime1 = LampHoursText(high1, low1);
  const auto high2 = Ask(context, protocol::query::kLampTime2High);
  const auto low2 = Ask(context, protocol::query::kLampTime2Low);
  readings.lampTime2 = LampHoursText(high2, low2);
}

// Serial: the set number stands for the display in the alarm.
std::string AlarmSubject(const ReadContext& context) {
  if (context.serial) return context.target.historySetId;
  return context.core->Lock()->AddressOf(context.target.display);
}

std::optional<NetworkSettingsTexts> NetworkSettings(const ReadContext& context) {
  auto state = context.core->Lock();
  const int row = state->RowOf(context.target.display);
  if (row < 0) return std::nullopt;
  const DisplayRecord& record = state->Doc().m_docDisplays[static_cast<size_t>(row)];
  return NetworkSettingsTexts{MacBoxText(record.m_displayMac), DottedAddress(record.m_ipAddress),
                              DottedAddress(record.m_subnetMask), DottedAddress(record.m_gateway)};
}

void ReadStatus(const ReadContext& context, InformationReadings& readings, ProgressPopup& popup) {
  readings.power = MatchText(Ask(context, protocol::query::kPower), status::kPower);
  readings.input = MatchText(Ask(context, protocol::query::kInputSelect), status::kInput);
  readings.signal = DecodeSignal(Ask(context, protocol::query::kSignal));
  readings.pictureMode =
      MatchText(Ask(context, protocol::query::kPictureMode), status::kPictureMode);
  readings.aspect = MatchText(Ask(context, protocol::query::kAspectRatio), status::kAspect);
  popup.SetPos(40);
  ReadSingleDiagnosis(context, readings);
  popup.SetPos(70);
  ReadLampTime(context, readings);
  if (!context.serial) readings.network = NetworkSettings(context);
  popup.SetPos(100);
}

}  // namespace

bool ProbeDisplay(const ReadContext& context, int* kind) {
  const SendOutcome probe = context.Send(protocol::query::kInformationProbe, true);
  *kind = QueryDisplayKind(context);
  return probe.reply && !probe.reply->empty();
}

void ReadSingleDiagnosis(const ReadContext& context, InformationReadings& readings) {
  Trace("Read Single Diagnosis");
  readings.fan = DecodeFan(Ask(context, protocol::query::kFanState));
  if (!readings.fan) return;
  ReadLampTime(context, readings);
  if (!readings.fan->normal) ReportFanFault(context);
}

void ReportFanFault(const ReadContext& context) {
  context.core->Transaction().AppendHistoryFor(context.target, "Warning Fan Operation");
  const std::string subject = AlarmSubject(context);
  context.core->Lock()->SendAlarmMail(AlarmKind::kFanFault, subject);
}

// A group is read by the group page, never here.
InformationReadings ReadInformationPage(const ReadContext& context, bool onTop) {
  InformationReadings readings;
  readings.cancelled = context.Cancelled();
  if (!onTop || readings.cancelled || context.target.IsGroup() ||
      context.target.route == CommandTarget::Route::kNone) {
    return readings;
  }
  readings.ran = true;
  // Its own protocol has no kind and no probe: the page asks what PJLink knows.
  if (ReadsPjlinkDisplay(context)) {
    ReadPjlinkInformation(context, readings);
    readings.cancelled = context.Cancelled();
    return readings;
  }
  ProgressPopup popup(context.core->Ui());
  readings.probeAnswered = ProbeDisplay(context, &readings.kind);
  if (!context.serial) {
    readings.kind = QueryDisplayKind(context);
    if (readings.kind == kKindWithStatus) ReadStatus(context, readings, popup);
  } else if (!readings.probeAnswered) {
    MarkCheckFailed(context);
  } else {
    MarkCheckPassed(context, true);
    ReadStatus(context, readings, popup);
  }
  readings.cancelled = context.Cancelled();
  return readings;
}

}  // namespace tarnex
