#include "monitor/menu_readers.h"

#include <string>

#include "monitor/advanced_tables.h"
#include "monitor/display_kind.h"
#include "monitor/link_failure.h"
#include "monitor/picture_tables.h"
#include "monitor/progress_popup.h"
#include "monitor/refresh_steps.h"
#include "monitor/shared_queries.h"
#include "monitor/slider_reader.h"
#include "monitor/special_tables.h"
#include "monitor/status_decoders.h"
#include "protocol/command_catalogue.h"
#include "protocol/command_frame.h"

namespace tarnex {
namespace {

struct SettingReply {
  bool cancelled = false;
  bool answered = false;
  std::optional<int> value;
};

SettingReply AskSetting(const ReadContext& context, const PageSetting& setting,
                        bool shortSerialWait) {
  const SendOutcome outcome = context.Send(protocol::BuildQuery(setting.letters), shortSerialWait);
  if (outcome.cancelled) return {.cancelled = true, .answered = false, .value = std::nullopt};
  if (!outcome.reply || outcome.reply->empty()) return {};
  return {.answered = true,
          .value = setting.IsSlider() ? SliderValueOf(*outcome.reply)
                                      : MatchPosition(*outcome.reply, setting.replies)};
}

struct StepOptions {
  bool shortSerialWait = false;
  // The setting whose silence is a lost link, as the input query's is.
  int linkSetting = kNoStep;
};

void ReadSteps(const ReadContext& context, std::span<const PageSetting> settings,
               std::span<const ReadStep> steps, ProgressPopup& popup, MenuReadings& readings,
               const StepOptions& options) {
  for (const ReadStep& step : steps) {
    if (step.popupPos != kNoStep) popup.SetPos(step.popupPos);
    if (step.setting == kNoStep) continue;
    const auto index = static_cast<size_t>(step.setting);
    const SettingReply reply = AskSetting(context, settings[index], options.shortSerialWait);
    if (reply.cancelled) {
      readings.cancelled = true;
      return;
    }
    if (reply.answered) {
      readings.answered = true;
      readings.values[index] = reply.value;
      if (step.setting == options.linkSetting) readings.inputAnswered = readings.creditSetId = true;
    } else if (step.setting == options.linkSetting) {
      ReportLostLink(context, true);
      readings.lost = !context.Cancelled();
      readings.cancelled = context.Cancelled();
      return;
    }
  }
}

bool Stopped(const ReadContext& context, MenuReadings& readings) {
  if (context.Cancelled()) readings.cancelled = true;
  return readings.cancelled || readings.lost;
}

// The input query whose answer is not kept: it checks the link.
bool AskInputUnstored(const ReadContext& context, MenuReadings& readings) {
  const InputCheck check = AskInput(context, false);
  readings.inputAnswered = readings.inputAnswered || check.Answered();
  readings.cancelled = readings.cancelled || check.result == InputCheck::Result::kCancelled;
  readings.lost = readings.lost || check.result == InputCheck::Result::kSilent;
  return check.Answered();
}

// The link check of a refresh behind its popup: the input query, whose answer is kept for
// the Control page. Then `read` when it passed.
template <typename Read>
void CheckThenRead(const ReadContext& context, MenuReadings& readings, bool keepSerialState,
                   Read read) {
  if (CheckInput(context, &readings.input, true) == 1) {
    readings.inputAnswered = true;
    MarkCheckPassed(context, keepSerialState);
    read();
  } else {
    Stopped(context, readings);
    readings.lost = !readings.cancelled;
    MarkCheckFailed(context, keepSerialState);
  }
}

// ---- Picture ----

void InitialisePicture(const ReadContext& context, MenuReadings& readings) {
  readings.kind = QueryDisplayKind(context);
  readings.enabled = false;
  if (readings.kind != 2) return;
  readings.enabled = QuerySignal(context) == 1;
  if (!AskInputUnstored(context, readings)) return;
  readings.kind = QueryDisplayKind(context);
}

// The Information page's reading of the signal decides.
bool SignalReported(const ReadContext& context) {
  return DecodeSignal(context.Send(protocol::query::kSignal).reply) == status::kSignal[0].text;
}

// The whole refresh waits briefly for a serial set ID, and only the refresh: the next exchange
// waits as long as ever.
void RefreshPicture(const ReadContext& context, const MenuReadPlan& plan, MenuReadings& readings) {
  readings.enabled = SignalReported(context);
  if (!*readings.enabled || !plan.onTop || Stopped(context, readings)) return;
  ProgressPopup popup(context.core->Ui());
  if (plan.inputReadOk || readings.inputAnswered) {
    MarkCheckPassed(context);
    ReadSteps(context, picture::kSettings, picture::kRefreshSteps, popup, readings,
              {.shortSerialWait = true, .linkSetting = picture::kMode});
  } else {
    MarkCheckFailed(context);
  }
}

// ---- Advanced ----

void InitialiseAdvanced(const ReadContext& context, MenuReadings& readings) {
  readings.kind = QueryDisplayKind(context);
  if (readings.kind != 2) {
    readings.enabled = true;
    return;
  }
  if (!AskInputUnstored(context, readings)) return;
  readings.enabled = QuerySignal(context) == 1;
}

void RefreshAdvanced(const ReadContext& context, const MenuReadPlan& plan, MenuReadings& readings) {
  readings.kind = QueryDisplayKind(context);
  if (!AskInputUnstored(context, readings)) return;
  readings.enabled = QuerySignal(context) == 1;
  if (!*readings.enabled || !plan.onTop || Stopped(context, readings)) return;
  ProgressPopup popup(context.core->Ui());
  CheckThenRead(context, readings, false, [&] {
    ReadSteps(context, advanced::kSettings, advanced::kRefreshSteps, popup, readings, {});
  });
}

// ---- Special ----

void InitialiseSpecial(const ReadContext& context, MenuReadings& readings) {
  readings.kind = QueryDisplayKind(context);
}

// The serial state of the set ID is left as it is.
void RefreshSpecial(const ReadContext& context, const MenuReadPlan& plan, MenuReadings& readings) {
  readings.kind = QueryDisplayKind(context);
  if (!plan.onTop || Stopped(context, readings)) return;
  ProgressPopup popup(context.core->Ui());
  CheckThenRead(context, readings, true, [&] {
    ReadSteps(context, special::kSettings, special::kRefreshSteps, popup, readings, {});
  });
}

using Step = void (*)(const ReadContext&, MenuReadings&);
using Refresh = void (*)(const ReadContext&, const MenuReadPlan&, MenuReadings&);

MenuReadings RunPlan(const ReadContext& context, const MenuReadPlan& plan, size_t settings,
                     Step initialise, Refresh refresh) {
  MenuReadings readings;
  readings.values.resize(settings);
  if (!ReadsTarget(context) || Stopped(context, readings)) return readings;
  if (plan.initialise) initialise(context, readings);
  if (plan.refresh && !Stopped(context, readings)) refresh(context, plan, readings);
  Stopped(context, readings);
  return readings;
}

}  // namespace

bool ReadsTarget(const ReadContext& context) {
  return !context.target.IsGroup() && context.target.route != CommandTarget::Route::kNone;
}

MenuReadings ReadPicturePage(const ReadContext& context, const MenuReadPlan& plan) {
  return RunPlan(context, plan, picture::kSettings.size(), InitialisePicture, RefreshPicture);
}

MenuReadings ReadAdvancedPage(const ReadContext& context, const MenuReadPlan& plan) {
  return RunPlan(context, plan, advanced::kSettings.size(), InitialiseAdvanced, RefreshAdvanced);
}

MenuReadings ReadSpecialPage(const ReadContext& context, const MenuReadPlan& plan) {
  return RunPlan(context, plan, special::kSettings.size(), InitialiseSpecial, RefreshSpecial);
}

std::optional<int> ReadOneSetting(const ReadContext& context, const PageSetting& setting) {
  if (!ReadsTarget(context)) return std::nullopt;
  return AskSetting(context, setting, false).value;
}

}  // namespace tarnex
