#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/control_readers.h"
#include "monitor/information_reader.h"
#include "monitor/read_context.h"

namespace tarnex {

// What a PJLink display answered to one query of its own protocol.
struct PjlinkAnswer {
  std::optional<std::string> value;
  bool answered = false;   // anything came back, an error code included
  bool busy = false;       // ERR3: warming up, cooling down or in standby
  bool undefined = false;  // ERR1: the display does not know the command
};

// "%1NAME ?\r" to the display `id`, once: silence does not give the display up, since a
// display that is busy or slow to answer one query is not lost. Recorded as every exchange
// is; `cancelFd` ends the wait early. On a worker.
PjlinkAnswer AskPjlink(CConsoleCore& core, DisplayId id, std::string_view command, int cancelFd);

// How the displays of the selection are reached: a group may mix both kinds.
struct SelectionLinks {
  bool pjlink = false;
  bool native = false;
  // No selected display takes the native commands beyond what PJLink also knows.
  bool PjlinkOnly() const { return pjlink && !native; }
};
// Takes the lock.
SelectionLinks LinksOfSelection(CConsoleCore& core);

// The read aims at one PJLink display. Takes the lock.
bool ReadsPjlinkDisplay(const ReadContext& context);

// What a box shows for a query answered busy, and for a display without a lamp.
inline constexpr std::string_view kPjlinkBusyText = "\u2014";
inline constexpr std::string_view kNoLampText = "No lamp";
// The tooltip of a control that only the native protocol has.
inline constexpr std::string_view kNotOverPjlinkText = "Not available over PJLink";

// The Information page of a PJLink display: power, input, fan, lamp times and its own
// NAME, INF1, INF2 and CLSS. An abnormal fan is written and mailed as a native one is.
void ReadPjlinkInformation(const ReadContext& context, InformationReadings& readings);

// The Control page of a PJLink display: its inputs (INST), the one selected among them, and
// the screen mute. Its input query is the link check, as for a native display.
ControlReadings ReadPjlinkControlPage(const ReadContext& context, bool onTop);

// The command that selects the PJLink input `code`: the native command the exchange turns
// into it where there is one, so that the history and replies read as for a native display,
// else the PJLink frame itself.
std::string PjlinkInputCommand(std::string_view code);

}  // namespace tarnex
