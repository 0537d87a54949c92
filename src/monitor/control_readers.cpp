#include "monitor/control_readers.h"

#include <chrono>
#include <span>

#include "console/command_transaction.h"
#include "monitor/control_tables.h"
#include "monitor/display_kind.h"
#include "monitor/page_reader.h"
#include "monitor/page_state.h"
#include "monitor/progress_popup.h"
#include "monitor/refresh_steps.h"
#include "monitor/shared_queries.h"
#include "protocol/command_catalogue.h"

namespace tarnex {
namespace {

constexpr PageReader kMuteReader{protocol::query::kScreenMute, control::kMuteReplies};
constexpr PageReader kMonitorOutReader{protocol::query::kRgbMonitorOut,
                                       control::kMonitorOutReplies};
// Lets the window show the values it read before the next command goes out.
constexpr std::chrono::milliseconds kAfterReadPause{200};

}  // namespace

int ReadControlInput(CConsoleCore& core, std::optional<int>* input) {
  const std::optional<std::string> reply = AskInput(core, true);
  if (!reply) return 0;
  SetDocInt(core, &COsprelNetworkManagerDoc::m_docSetIdAnswered, 1);
  const auto& table = control::UsesInputListB(g_displayKind)
                          ? std::span<const ReplyPosition>(control::kInputRepliesKind1)
                          : std::span<const ReplyPosition>(control::kInputRepliesOther);
  *input = MatchPosition(*reply, table);
  return 1;
}

// A failed check changes no icon here: the input reader has already told the operator.
ControlReadings ReadControlPage(CConsoleCore& core, bool onTop) {
  ControlReadings readings;
  ProgressPopup popup(core.Ui());
  int answered = 0;
  if (onTop) {
    ShortSerialTimeout shortWait(core);
    answered = ReadControlInput(core, &readings.input);
  }
  if (answered != 1 || DocInt(core, &COsprelNetworkManagerDoc::m_docInputReadOk) != 1) {
    return readings;
  }
  MarkCheckPassed(core);
  popup.SetPos(25);
  readings.monitorOut = kMonitorOutReader.Read(core);
  popup.SetPos(50);
  readings.mute = kMuteReader.Read(core);
  popup.SetPos(75);
  popup.SetPos(100);
  CoreSleeper(core)(kAfterReadPause);
  return readings;
}

}  // namespace tarnex
