#pragma once

#include <optional>
#include <span>
#include <vector>

#include "monitor/page_setting.h"
#include "monitor/read_context.h"

namespace tarnex {

// What the window asks of a menu page's reads, with what it knew when the operator acted.
struct MenuReadPlan {
  bool initialise = false;   // the page's first display: its initialisation queries first
  bool refresh = false;      // then its refresh
  bool onTop = false;        // the page's flag was raised
  bool inputReadOk = false;  // an input query of the read display was answered before
};

// What the reads of a Picture, Advanced or Special page found, for the window to show.
struct MenuReadings {
  bool cancelled = false;
  // A link check found the display silent and the operator has been told: nothing more read.
  bool lost = false;
  std::optional<int> kind;  // the display kind, when it was asked
  // Picture: its ten controls; Advanced: the two 3D lists. Nothing: leave them as they are.
  std::optional<bool> enabled;
  bool inputAnswered = false;  // an input query (or the picture-mode query) got an answer
  bool creditSetId = false;    // the picture-mode query answered: the set ID answers
  bool answered = false;       // a setting's query got an answer
  std::optional<int> input;    // the input the link check found, in input list A order
  // Per setting of the page's table: the list position or slider value its reply named.
  std::vector<std::optional<int>> values;
};

// The pages' reads on a console worker, each as its page does them: the initialisation, then
// the refresh with its enable rule, link check and progress popup. A group or an empty
// selection is not read.
MenuReadings ReadPicturePage(const ReadContext& context, const MenuReadPlan& plan);
MenuReadings ReadAdvancedPage(const ReadContext& context, const MenuReadPlan& plan);
MenuReadings ReadSpecialPage(const ReadContext& context, const MenuReadPlan& plan);

// One setting asked again, outside a refresh: what the display has.
std::optional<int> ReadOneSetting(const ReadContext& context, const PageSetting& setting);

// Whether a read of this target makes sense: one display, or one set ID.
bool ReadsTarget(const ReadContext& context);

}  // namespace tarnex
